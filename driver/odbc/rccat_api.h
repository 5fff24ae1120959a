// The catalog functions of the ODBC layer: SQLTables, SQLColumns,
// SQLStatistics, SQLPrimaryKeys, SQLSpecialColumns, SQLForeignKeys,
// SQLTablePrivileges, SQLColumnPrivileges, SQLProcedures,
// SQLProcedureColumns and SQLGetTypeInfo, and the fetch of their results.
//
// Each call checks and copies its arguments, resets the statement (what it
// had prepared is gone), builds the whole result through the engine's
// catalog (driver/engine/catalog/rccat.h) and leaves the statement with an
// open result set (state 4, kind 100) whose columns SQLNumResultCols,
// SQLDescribeCol and SQLColAttributes describe with ODBC 2's names and
// types. SQLFetch and SQLGetData reach the rows through rcCatStmtFetch and
// rcCatStmtGetData while rcCatStmtActive holds; SQLFreeStmt(SQL_CLOSE)
// closes the cursor, and the next prepare or catalog call frees the result.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/rcstmt_handle.h"

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

// True while the statement's result is a catalog result.
bool rcCatStmtActive(const rcStmtHandle *s);
// SQLFetch and SQLGetData on a catalog result (the caller wrote the call's
// trace line and emptied the queue; these answer the call's result).
SQLRETURN rcCatStmtFetch(rcStmtHandle *s);
SQLRETURN rcCatStmtGetData(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType,
                           SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);
// The release routine statement reset runs for the catalog result.
void rcCatStmtRelease(rcStmt *engine);
