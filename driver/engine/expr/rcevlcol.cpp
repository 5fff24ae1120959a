// Column values of the current row for evaluation, and value holders.
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/rcevl.h"
#include "driver/engine/tam.h"

namespace {

bool IsChar(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

bool OnNullRow(const rcEvlColumnRef *col) { return col->nullRow && *col->nullRow; }

int16_t PostCode(rcErrorQueue *errors, int32_t code)
{
    if (errors)
        rcErrPost(errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return -1;
}

} // namespace

int32_t rcEvlTamReader(void *source, uint32_t column, void *buffer, uint32_t length,
                       uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType)
{
    auto *s = static_cast<rcEvlTamSource *>(source);
    return TamGetColumn(s->session, s->handle, column, buffer, length, outLength, partial, sqlType);
}

int16_t rcEvlFetchColumn(rcErrorQueue *errors, const rcEvlColumnRef *col, void *buffer,
                         uint32_t size, bool *isNull, uint32_t *length)
{
    *isNull = false;
    *length = 0;
    if (OnNullRow(col)) {
        *isNull = true;
        if (IsChar(col->sqlType) && size > 0)
            static_cast<char *>(buffer)[0] = '\0';
        return 0;
    }
    uint32_t got = 0;
    int32_t rc =
        col->tam != nullptr && (col->redirect == nullptr || *col->redirect == nullptr)
            ? TamGetColumn(col->tam->session, col->tam->handle, col->column, buffer, size, &got,
                           nullptr, col->sqlType)
            : col->read(col->source, col->column, buffer, size, &got, nullptr, col->sqlType);
    if (rc == RC_EVL_COL_NULL) {
        *isNull = true;
        if (IsChar(col->sqlType) && size > 0)
            static_cast<char *>(buffer)[0] = '\0';
        return 0;
    }
    if (rc != 0 && rc != RC_EVL_COL_TRUNCATED)
        return PostCode(errors, rc);
    if (got > size)
        got = size;
    if (col->sqlType == SQL_BIT && size > 0) {
        auto *b = static_cast<unsigned char *>(buffer);
        b[0] = b[0] ? 1 : 0;
    }
    if (IsChar(col->sqlType) && size > 0) {
        // The terminator takes the last byte of a value that filled the buffer.
        if (got >= size)
            got = size - 1;
        static_cast<char *>(buffer)[got] = '\0';
    }
    *length = got;
    return 0;
}

int16_t rcEvlFetchColumnPart(rcErrorQueue *errors, const rcEvlColumnRef *col, void *buffer,
                             uint32_t size, uint32_t offset, bool *isNull, uint32_t *length)
{
    *isNull = false;
    *length = 0;
    if (OnNullRow(col)) {
        *isNull = true;
        if (IsChar(col->sqlType) && size > 0)
            static_cast<char *>(buffer)[0] = '\0';
        return 0;
    }
    // A text keeps its last byte for the terminator, so that every byte of the
    // value is delivered once over the pieces.
    bool text = IsChar(col->sqlType);
    uint32_t room = text && size > 0 ? size - 1 : size;
    DRM_RETINFO partial{0, offset};
    uint32_t got = 0;
    int32_t rc = col->read(col->source, col->column, buffer, room, &got, &partial, col->sqlType);
    if (rc == RC_EVL_COL_NULL) {
        *isNull = true;
        return 0;
    }
    if (rc != 0 && rc != RC_EVL_COL_TRUNCATED)
        return PostCode(errors, rc);
    // The length is what is left from the offset on (the reader tells the
    // whole value's size), as for every other value read in pieces.
    *length = partial.size > offset ? partial.size - offset : got;
    if (text && size > 0)
        static_cast<char *>(buffer)[got < room ? got : room] = '\0';
    return rc == RC_EVL_COL_TRUNCATED ? 1 : 0;
}

int16_t rcEvlStoreResult(rcErrorQueue *errors, int16_t sqlType, rcEvlHolder *holder,
                         const void *value, uint32_t length)
{
    rcEvlHolderFree(holder);
    holder->sqlType = sqlType;
    if (IsChar(sqlType)) {
        char *copy = static_cast<char *>(rcMemAlloc(length + 1));
        if (!copy) {
            if (errors)
                rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            return -1;
        }
        std::memcpy(copy, value, length);
        copy[length] = '\0';
        holder->kind = RC_EVL_HOLD_TEXT;
        holder->text = copy;
        return 0;
    }
    size_t n = sqlType == RC_SQL_DECIMAL38                     ? 38
               : sqlType == RC_SQL_SCALED64                    ? 8
               : sqlType == SQL_TIMESTAMP                      ? sizeof(TIMESTAMP_STRUCT)
               : sqlType == SQL_DATE                           ? sizeof(DATE_STRUCT)
               : sqlType == SQL_TIME                           ? sizeof(TIME_STRUCT)
               : sqlType == SQL_DOUBLE || sqlType == SQL_FLOAT ? 8
               : sqlType == SQL_INTEGER || sqlType == SQL_REAL ? 4
               : sqlType == SQL_SMALLINT                       ? 2
                                                               : 1;
    holder->kind = RC_EVL_HOLD_INPLACE;
    std::memcpy(holder->value, value, n);
    return 0;
}

void rcEvlHolderFree(rcEvlHolder *holder)
{
    if (holder->kind == RC_EVL_HOLD_TEXT && holder->text)
        rcMemFree(holder->text);
    holder->text = nullptr;
    holder->kind = 0;
}
