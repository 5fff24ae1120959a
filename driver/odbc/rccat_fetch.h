// SQLFetch and SQLGetData on a catalog function's result (rccat_fetch.cpp):
// the rows come from the engine's catalog result (driver/engine/catalog/
// rccat.h) while rcCatStmtActive holds; SQLFreeStmt(SQL_CLOSE) closes the
// cursor, and the next prepare or catalog call frees the result.
#pragma once

#include <sql.h>
#include <sqlext.h>

struct rcStmt;
struct rcStmtHandle;

// True while the statement's result is a catalog result.
bool rcCatStmtActive(const rcStmtHandle *s);
// SQLFetch and SQLGetData on a catalog result (the caller wrote the call's
// trace line and emptied the queue; these answer the call's result).
SQLRETURN rcCatStmtFetch(rcStmtHandle *s);
SQLRETURN rcCatStmtGetData(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType,
                           SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);
