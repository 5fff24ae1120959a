/* A point query executed again and again through the Driver Manager:
 * SELECT * FROM Orders WHERE ID = ?, prepared once and executed N times
 * with a new value each time (or, with "direct", SQLExecDirect with the
 * value as a literal, so that every execution prepares and plans). Every
 * row is read with SQLGetData as text. Prints the time per execution.
 *
 *   prepared_bench CONNSTR N [direct]
 */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void fail(SQLSMALLINT type, SQLHANDLE handle, const char *what)
{
    SQLCHAR state[6] = "", text[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    fprintf(stderr, "%s: %s %s\n", what, state, text);
    exit(1);
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: prepared_bench CONNSTR N [direct]\n");
        return 2;
    }
    int n = atoi(argv[2]);
    int direct = argc > 3 && strcmp(argv[3], "direct") == 0;
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR *)argv[1], SQL_NTS, NULL, 0, NULL,
                                        SQL_DRIVER_NOPROMPT)))
        fail(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLINTEGER id = 0;
    if (!direct) {
        if (!SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR *)"SELECT * FROM Orders WHERE ID = ?", SQL_NTS)))
            fail(SQL_HANDLE_STMT, stmt, "prepare");
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, NULL);
    }
    long rows = 0;
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < n; ++i) {
        id = 1001 + (i * 37) % 400; /* the demo database's orders */
        SQLRETURN rc;
        if (direct) {
            char sql[64];
            snprintf(sql, sizeof sql, "SELECT * FROM Orders WHERE ID = %d", (int)id);
            rc = SQLExecDirect(stmt, (SQLCHAR *)sql, SQL_NTS);
        } else {
            rc = SQLExecute(stmt);
        }
        if (!SQL_SUCCEEDED(rc))
            fail(SQL_HANDLE_STMT, stmt, "execute");
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            for (SQLUSMALLINT k = 1; k <= columns; ++k) {
                char buffer[256];
                SQLLEN length;
                SQLGetData(stmt, k, SQL_C_CHAR, buffer, sizeof buffer, &length);
            }
            ++rows;
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double us = ((end.tv_sec - start.tv_sec) * 1e9 + (end.tv_nsec - start.tv_nsec)) / 1e3 / n;
    printf("%s: %d executions, %ld rows, %.1f us per execution\n", direct ? "direct" : "prepared",
           n, rows, us);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return rows == n ? 0 : 1;
}
