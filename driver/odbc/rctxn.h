// The transaction state machine.
//
// One table-driven machine per connection, one model for the whole process
// (chosen by the first connection from its data source's transaction
// capability, changed by the TxnModel SET statement). Events: 0 DDL, 1 DML or
// query, 2 auto-commit on, 3 auto-commit off, 4 commit, 5 roll back. Entering a
// state sends its transaction codes to the data module (1 auto-commit mode,
// 2 manual mode, 3 begin, 4 commit, 5 roll back).
//
//   rcTxnInit(conn)                     at connect: model, state 4
//   rcTxnStmtEvent(conn, kind, &pass)   at the start of every execution
//   rcTxnSetAutoCommit(conn, value)     SQL_AUTOCOMMIT
//   rcExeTxnCommit / rcExeTxnRollback   SQLTransact
// A transition whose action fails leaves the connection in the state it had.
// The connection's handle state follows the machine: while a transaction is
// open in manual mode (state 1) it is 5, so SQLDisconnect refuses it with
// 25000 until SQLTransact commits or rolls back (or auto-commit is switched
// on, which commits); leaving state 1 puts it back to 4 or 3.
#pragma once

#include <cstdint>

struct rcConn;

enum : int {
    RC_TXN_EVENT_DDL = 0,
    RC_TXN_EVENT_DML = 1,
    RC_TXN_EVENT_AUTOCOMMIT_ON = 2,
    RC_TXN_EVENT_AUTOCOMMIT_OFF = 3,
    RC_TXN_EVENT_COMMIT = 4,
    RC_TXN_EVENT_ROLLBACK = 5,
};

// Sends one transaction code for the connection; 0, or the data module's
// negative code (-1 when it gave none). Tests replace it to
// watch the codes (null restores the table-access layer).
using rcTxnSendFn = int32_t (*)(rcConn *conn, uint32_t code);
void rcTxnSetSender(rcTxnSendFn send);

void rcTxnSelectModel(int model);
int rcTxnSetModel(int model);
// The selected model, or -1 when none has been selected in the process.
int rcTxnCurrentModel();
// Forgets the selected model (tests, and the last environment going).
void rcTxnResetModel();
int rcTxnInit(rcConn *conn);
int rcTxnFsmEvent(rcConn *conn, int event, int *pass);
int rcTxnStmtEvent(rcConn *conn, int stmtKind, int *pass);
// The auto-commit step of an execution: commit what the previous one did,
// begin anew. Done when transactions are in use and the state is 4 or 5.
int rcTxnAutoCommitStep(rcConn *conn);
// At the end of a statement's execution: under auto-commit the transaction the
// statement began is committed at once, so other connections see the change.
int rcTxnStmtComplete(rcConn *conn);
int rcTxnSetAutoCommit(rcConn *conn, uint32_t value);
bool rcTxnAnyActive();
bool rcTxnIsAutoCommit(const rcConn *conn);
// The connection's transaction-open flag; flipping it (a statement began or
// ended the data module's transaction); clearing it (SQL_AUTOCOMMIT off
// ended the open transaction itself).
uint32_t rcTxnStateRef(const rcConn *conn);
void rcTxnToggleOpen(rcConn *conn);
void rcTxnClearState(rcConn *conn);
void rcTxnSetFlag(uint32_t isolation);
void rcTxnSetDefaultIsolation(uint32_t bits);
int rcExeTxnCommit(rcConn *conn);
int rcExeTxnRollback(rcConn *conn);
