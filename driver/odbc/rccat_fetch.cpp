// SQLFetch and SQLGetData on a catalog result (see rccat_api.h): rows come
// from the engine's catalog result, bound columns are filled from it.
#include "driver/odbc/rccat_api.h"

#include "driver/core/rcmsgid.h"
#include "driver/engine/catalog/rccat.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_api.h"

namespace {

uint32_t MaxLength(const rcStmtHandle *s)
{
    uint32_t v = 0;
    rcStmtReadOption(SQL_MAX_LENGTH, s->options, &v);
    return v;
}

// Column k (from 0) of the current row: 0, 1 cut (01004 posted), 100 all of
// it went out before, -1 error posted.
int16_t Column(rcStmtHandle *s, uint16_t k, int16_t cType, void *value, int64_t bufferLength,
               SQLLEN *length)
{
    int64_t indicator = 0;
    int16_t rc = rcCatGetData(s->engine, k, cType, value, bufferLength, &indicator, MaxLength(s));
    if ((rc == 0 || rc == 1) && length != nullptr)
        *length = static_cast<SQLLEN>(indicator);
    return rc;
}

} // namespace

SQLRETURN rcCatStmtFetch(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    if (s->state == RC_STMT_EXT_FETCHED || s->state < RC_STMT_CURSOR_OPEN)
        return rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    s->rowCurrent = false;
    s->state = RC_STMT_FETCHED;
    if (e->maxRows != 0 && s->rowCount >= e->maxRows)
        return SQL_NO_DATA_FOUND;
    int16_t rc = rcCatFetch(e);
    if (rc < 0)
        return SQL_ERROR;
    if (rc == 100)
        return SQL_NO_DATA_FOUND;
    ++s->rowCount;
    s->rowCurrent = true;
    bool warned = false;
    uint16_t count = e->resultColumnCount;
    for (uint16_t k = 0; k < s->bindings.size(); ++k) {
        const rcColBinding &b = s->bindings[k];
        if (b.value == nullptr)
            continue;
        if (k >= count)
            return rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER);
        int16_t r = Column(s, k, b.cType, b.value, b.bufferLength, b.length);
        if (r < 0)
            return SQL_ERROR;
        warned = warned || r == 1;
    }
    return warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN rcCatStmtGetData(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType,
                           SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length)
{
    if (s->state < RC_STMT_CURSOR_OPEN)
        return rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    if (!s->rowCurrent)
        return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
    if (column == 0 || column > s->engine->resultColumnCount)
        return rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER);
    if (bufferLength < 0)
        return rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH);
    int16_t r = Column(s, static_cast<uint16_t>(column - 1), cType, value, bufferLength, length);
    return r < 0      ? SQL_ERROR
           : r == 1   ? SQL_SUCCESS_WITH_INFO
           : r == 100 ? SQL_NO_DATA_FOUND
                      : SQL_SUCCESS;
}
