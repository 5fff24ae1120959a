// The connect road: environments and connections from allocation to free.
//
// Legal order:
//   rcEnvAlloc -> rcConAlloc -> (rcConSqlConnect | rcConDriverConnect)
//   -> rcConnLoadTranslation -> ... -> rcConDisconnect -> rcConFree -> rcEnvFree
// A connect goes: the session begun with the login (rcConConnect: the data
// source's information read, the keywords passed on, code page, login
// time-out and database set, the type catalog and the transaction machine
// loaded, the options set before connect replayed, the engine options read);
// SQLDriverConnect with a completion mode that prompts asks for the login
// first (rcConDriverConnect, rcconn_prompt.cpp). Any failure of a connect is
// undone by rcConnUndoConnect, which leaves the connection in state 1 with no
// session and the attributes cleared.
//
// Each answers 0, 1 (a warning queued) or -1 after posting on the
// connection's queue (the environment's for rcConAlloc).
#pragma once

#include <cstdint>

#include "driver/odbc/rcconn.h"

int16_t rcEnvAlloc(rcEnv **env);
void rcEnvFree(rcEnv *env);
int16_t rcConAlloc(rcEnv *env, rcConn **conn);
// Unlists the connection from its environment, ends its session and frees it.
void rcConFree(rcConn *conn);

int16_t rcConConnect(rcConn *conn, const char *dsn, const char *dbq, const char *uid,
                     const char *pwd, const char *codePage, int32_t *native);
// SQLConnect and SQLDriverConnect without a prompt: the attributes as given,
// completed from the data source's settings.
int16_t rcConSqlConnect(rcConn *conn);
// SQLDriverConnect with a completion mode that may prompt; the login
// dialog's end value when it ends without a connect (cancelled: SQL_NO_DATA).
int16_t rcConDriverConnect(rcConn *conn, void *window, uint16_t completion);
int16_t rcConLogin(rcLoginBuffer *login);
void rcConFillLogin(rcConn *conn, rcLoginBuffer *login);
// Ends the session (it is gone whatever the data module answered).
int16_t rcConDisconnect(rcConn *conn);
void rcConnUndoConnect(rcConn *conn);
// Applies "TranslationDLL" and "TranslationOption" of the data source, or of
// the connection string when it names them; 0, 1 or -1.
int16_t rcConnLoadTranslation(rcConn *conn);
// Reads the switches of the engine option table (rcopt_engine.h) for the
// connection and sets its option mask, query-plan flag and maximum column
// count.
void rcOptApplyEngineOptions(rcConn *conn, rcEngineOptions *block);
