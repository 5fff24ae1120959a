// The workers behind the exported ODBC functions, one for each (the exports
// in rcodbc_entry.cpp validate and lock the handle, then call these). Each
// writes the call trace line, empties the error queue of its handle, does
// the work through the modules below it and writes the return trace line.
// Inside the driver call the modules' own steps (rcconnect.h, rcoption.h,
// rcstmt_exec.h, ...), never these nor the exported names.
//
// Where they are: environments and connections rcconn_api.cpp; options,
// SQLGetInfo and SQLGetFunctions rcoption_api.cpp; statements rcstmt_api.cpp;
// describing rcstmt_describe.cpp; results rcstmt_fetch.cpp; parameters
// rcstmt_param_api.cpp; scrolling rcstmt_scroll.cpp; catalog functions
// rccat_api.cpp.
#pragma once

#include <sql.h>
#include <sqlext.h>

struct rcEnv;
struct rcConn;
struct rcStmtHandle;

// Environments and connections.
SQLRETURN SQLAllocEnvImpl(SQLHENV *phenv);
SQLRETURN SQLFreeEnvImpl(rcEnv *env);
SQLRETURN SQLAllocConnectImpl(rcEnv *env, SQLHDBC *phdbc);
SQLRETURN SQLFreeConnectImpl(rcConn *conn);
SQLRETURN SQLConnectImpl(rcConn *conn, const SQLCHAR *dsn, SQLSMALLINT cbDsn, const SQLCHAR *uid,
                         SQLSMALLINT cbUid, const SQLCHAR *pwd, SQLSMALLINT cbPwd);
SQLRETURN SQLDriverConnectImpl(rcConn *conn, SQLHWND hwnd, const SQLCHAR *in, SQLSMALLINT cbIn,
                               SQLCHAR *out, SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut,
                               SQLUSMALLINT completion);
SQLRETURN SQLBrowseConnectImpl(rcConn *conn, const SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out,
                               SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut);
SQLRETURN SQLDisconnectImpl(rcConn *conn);
SQLRETURN SQLTransactImpl(rcEnv *env, rcConn *conn, SQLUSMALLINT type);
SQLRETURN SQLErrorImpl(rcEnv *env, rcConn *conn, rcStmtHandle *stmt, SQLCHAR *state,
                       SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size, SQLSMALLINT *length);
SQLRETURN SQLNativeSqlImpl(rcConn *conn, const SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out,
                           SQLINTEGER outMax, SQLINTEGER *outLength);

// Options and information.
SQLRETURN SQLGetInfoImpl(rcConn *conn, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT outMax,
                         SQLSMALLINT *length);
SQLRETURN SQLGetFunctionsImpl(rcConn *conn, SQLUSMALLINT function, SQLUSMALLINT *exists);
SQLRETURN SQLSetConnectOptionImpl(rcConn *conn, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetConnectOptionImpl(rcConn *conn, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN SQLSetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLPOINTER value);

// Statements.
SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt);
SQLRETURN SQLFreeStmtImpl(rcStmtHandle *stmt, SQLUSMALLINT option);
SQLRETURN SQLPrepareImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
SQLRETURN SQLExecuteImpl(rcStmtHandle *stmt);
SQLRETURN SQLExecDirectImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
// Unlike the other workers, called without the connection's lock (it takes
// the lock itself when no other call runs the statement).
SQLRETURN SQLCancelImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *stmt, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length);
SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *stmt, const SQLCHAR *name, SQLSMALLINT length);
SQLRETURN SQLRowCountImpl(rcStmtHandle *stmt, SQLLEN *count);
SQLRETURN SQLMoreResultsImpl(rcStmtHandle *stmt);

// Describing a prepared statement.
SQLRETURN SQLNumResultColsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeColImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLCHAR *name,
                             SQLSMALLINT size, SQLSMALLINT *length, SQLSMALLINT *type,
                             SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable);
SQLRETURN SQLColAttributesImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                               SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT *length,
                               SQLLEN *number);
SQLRETURN SQLNumParamsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeParamImpl(rcStmtHandle *stmt, SQLUSMALLINT param, SQLSMALLINT *type,
                               SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable);

// Result sets.
SQLRETURN SQLBindColImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                         SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);
SQLRETURN SQLFetchImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetDataImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                         SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);

// Parameters.
SQLRETURN SQLBindParameterImpl(rcStmtHandle *stmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                               SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                               SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                               SQLLEN *pcbValue);
SQLRETURN SQLSetParamImpl(rcStmtHandle *stmt, SQLUSMALLINT ipar, SQLSMALLINT fCType,
                          SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                          SQLPOINTER rgbValue, SQLLEN *pcbValue);
SQLRETURN SQLParamOptionsImpl(rcStmtHandle *stmt, SQLULEN crow, SQLULEN *pirow);
SQLRETURN SQLParamDataImpl(rcStmtHandle *stmt, SQLPOINTER *prgbValue);
SQLRETURN SQLPutDataImpl(rcStmtHandle *stmt, SQLPOINTER rgbValue, SQLLEN cbValue);

// The scrolling functions: built, not exported (rcstmt_scroll.cpp).
SQLRETURN SQLSetScrollOptionsImpl(rcStmtHandle *stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                                  SQLUSMALLINT rowset);
SQLRETURN SQLExtendedFetchImpl(rcStmtHandle *stmt, SQLUSMALLINT fetchType, SQLLEN row,
                               SQLULEN *rowCount, SQLUSMALLINT *rowStatus);
SQLRETURN SQLSetPosImpl(rcStmtHandle *stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                        SQLUSMALLINT lock);

// Catalog functions: each resets the statement, builds its whole result
// through the engine's catalog (driver/engine/catalog/rccat.h) and leaves
// the statement with an open result set (state 4, kind 100) whose columns
// carry ODBC 2's names and types, read by SQLFetch and SQLGetData.
SQLRETURN SQLTablesImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                        const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                        SQLSMALLINT cbTable, const SQLCHAR *types, SQLSMALLINT cbTypes);
SQLRETURN SQLColumnsImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                         const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                         SQLSMALLINT cbTable, const SQLCHAR *column, SQLSMALLINT cbColumn);
SQLRETURN SQLStatisticsImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                            const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                            SQLSMALLINT cbTable, SQLUSMALLINT unique, SQLUSMALLINT accuracy);
SQLRETURN SQLPrimaryKeysImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                             const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                             SQLSMALLINT cbTable);
SQLRETURN SQLSpecialColumnsImpl(rcStmtHandle *s, SQLUSMALLINT colType, const SQLCHAR *qualifier,
                                SQLSMALLINT cbQualifier, const SQLCHAR *owner, SQLSMALLINT cbOwner,
                                const SQLCHAR *table, SQLSMALLINT cbTable, SQLUSMALLINT scope,
                                SQLUSMALLINT nullable);
SQLRETURN SQLForeignKeysImpl(rcStmtHandle *s, const SQLCHAR *pkQualifier, SQLSMALLINT cbPkQualifier,
                             const SQLCHAR *pkOwner, SQLSMALLINT cbPkOwner, const SQLCHAR *pkTable,
                             SQLSMALLINT cbPkTable, const SQLCHAR *fkQualifier,
                             SQLSMALLINT cbFkQualifier, const SQLCHAR *fkOwner,
                             SQLSMALLINT cbFkOwner, const SQLCHAR *fkTable, SQLSMALLINT cbFkTable);
SQLRETURN SQLTablePrivilegesImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                                 const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                                 SQLSMALLINT cbTable);
SQLRETURN SQLColumnPrivilegesImpl(rcStmtHandle *s, const SQLCHAR *qualifier,
                                  SQLSMALLINT cbQualifier, const SQLCHAR *owner,
                                  SQLSMALLINT cbOwner, const SQLCHAR *table, SQLSMALLINT cbTable,
                                  const SQLCHAR *column, SQLSMALLINT cbColumn);
SQLRETURN SQLProceduresImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                            const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *procedure,
                            SQLSMALLINT cbProcedure);
SQLRETURN SQLProcedureColumnsImpl(rcStmtHandle *s, const SQLCHAR *qualifier,
                                  SQLSMALLINT cbQualifier, const SQLCHAR *owner,
                                  SQLSMALLINT cbOwner, const SQLCHAR *procedure,
                                  SQLSMALLINT cbProcedure, const SQLCHAR *column,
                                  SQLSMALLINT cbColumn);
SQLRETURN SQLGetTypeInfoImpl(rcStmtHandle *s, SQLSMALLINT sqlType);
