// SQLFetch and SQLGetData on a catalog result (see rccat_fetch.h): rows come
// from the engine's catalog result, bound columns are filled from it.
#include "driver/odbc/rccat_fetch.h"

#include "driver/core/rcmsgid.h"
#include "driver/engine/catalog/rccat.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t MaxLength(const rcStmtHandle *s)
{
    uint32_t v = 0;
    rcStmtReadOption(SQL_MAX_LENGTH, s->options, &v);
    return v;
}

// A value held in memory, read as rcXlateReadFn reads.
struct HeldText {
    const char *text;
    uint32_t length;
    bool isNull;
};

int16_t ReadHeldText(void *context, uint32_t offset, char *buffer, int32_t size, int32_t *left,
                     bool *isNull)
{
    const auto *h = static_cast<const HeldText *>(context);
    *isNull = h->isNull;
    uint32_t rest = offset < h->length ? h->length - offset : 0;
    *left = static_cast<int32_t>(rest);
    if (size > 0) {
        uint32_t n = std::min<uint32_t>(rest, static_cast<uint32_t>(size - 1));
        std::memcpy(buffer, h->text + offset, n);
        buffer[n] = '\0';
    }
    return 0;
}

// Column k (from 0) of the current row as translated text or UTF-16, when
// it goes out so; piece is the value's progress (a fresh one for a bound
// column). 0, 1 cut, 100 all of it went out before, -1 error posted; 2 when
// the value goes out as it is (rcCatGetData).
int16_t TranslatedColumn(rcStmtHandle *s, uint16_t k, int16_t cType, void *value,
                         int64_t bufferLength, SQLLEN *length, rcColPiece *piece)
{
    rcXlateMode mode = cType == SQL_C_WCHAR ? RC_XLATE_WIDE
                       : (cType == SQL_C_CHAR || cType == SQL_C_DEFAULT) && rcXlateLoaded(s->conn)
                           ? RC_XLATE_LIBRARY
                           : RC_XLATE_NONE;
    if (mode == RC_XLATE_NONE)
        return 2;
    if (piece->done)
        return 100;
    HeldText held{nullptr, 0, false};
    char number[64];
    int16_t t = rcCatColumnText(s->engine, k, &held.text, &held.length, &held.isNull);
    if (t < 0)
        return -1;
    if (t == 1) {
        // A number: its text, then widened.
        if (mode != RC_XLATE_WIDE)
            return 2;
        int64_t indicator = 0;
        int16_t rc = rcCatGetData(s->engine, k, SQL_C_CHAR, number, sizeof number, &indicator, 0);
        if (rc < 0 || rc == 100)
            return rc;
        held = HeldText{number, static_cast<uint32_t>(std::strlen(number)),
                        indicator == SQL_NULL_DATA};
    }
    bool more = false;
    int16_t r = rcXlateDeliverText(s->conn, &s->errors, mode, &s->textScratch, &ReadHeldText,
                                   &held, value, bufferLength, length, MaxLength(s), &piece->at,
                                   &more);
    piece->done = r < 0 || !more;
    return r;
}

// Column k (from 0) of the current row: 0, 1 cut (01004 posted), 100 all of
// it went out before, -1 error posted. piece: SQLGetData's progress, null
// for a bound column.
int16_t Column(rcStmtHandle *s, uint16_t k, int16_t cType, void *value, int64_t bufferLength,
               SQLLEN *length, rcColPiece *piece)
{
    rcColPiece once;
    int16_t r = TranslatedColumn(s, k, cType, value, bufferLength, length,
                                 piece != nullptr ? piece : &once);
    if (r != 2)
        return r;
    int64_t indicator = 0;
    int16_t rc = rcCatGetData(s->engine, k, cType, value, bufferLength, &indicator, MaxLength(s));
    if ((rc == 0 || rc == 1) && length != nullptr)
        *length = static_cast<SQLLEN>(indicator);
    return rc;
}

} // namespace

bool rcCatStmtActive(const rcStmtHandle *s) { return rcCatActive(s->engine); }

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
    ++s->rowSerial;
    s->rowCurrent = true;
    bool warned = false;
    uint16_t count = e->resultColumnCount;
    for (uint16_t k = 0; k < s->bindings.size(); ++k) {
        const rcColBinding &b = s->bindings[k];
        if (b.value == nullptr)
            continue;
        if (k >= count)
            return rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER);
        int16_t r = Column(s, k, b.cType, b.value, b.bufferLength, b.length, nullptr);
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
    uint16_t k = static_cast<uint16_t>(column - 1);
    if (s->pieces.size() <= k)
        s->pieces.resize(k + 1u);
    rcColPiece &piece = s->pieces[k];
    if (piece.row != s->rowSerial)
        piece = rcColPiece{s->rowSerial, {}, false};
    int16_t r = Column(s, k, cType, value, bufferLength, length, &piece);
    return r < 0      ? SQL_ERROR
           : r == 1   ? SQL_SUCCESS_WITH_INFO
           : r == 100 ? SQL_NO_DATA_FOUND
                      : SQL_SUCCESS;
}
