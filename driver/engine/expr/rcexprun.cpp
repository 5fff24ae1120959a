// Running expression programs: the operand pushes, arithmetic, date
// arithmetic, concatenation, and delivery of the result in the caller's type.
//
// Every operation is strict: a NULL operand makes the whole expression NULL,
// so the run stops at the first NULL pushed. Arithmetic on approximate and
// integer operands is done in double precision and checked: a zero divisor
// posts "Division by zero", a result that is not finite "Floating point
// overflow"; no trap or signal handler is involved.
#include <cmath>
#include <cstring>
#include <limits>

#include "driver/core/rccnv.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcsqltype.h"
#include "driver/engine/expr/rcexpimpl.h"

namespace {

bool IsChar(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsBinary(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool IsDateish(int16_t t) { return t == SQL_DATE || t == SQL_TIMESTAMP; }
bool IsFloat(int16_t t) { return t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE; }

int16_t ReadColumn(rcExpEnv *env, ExprProgram *p, const rcExpInstr &ins, rcExpValue *v)
{
    const auto *col = static_cast<const rcEvlColumnRef *>(ins.ptr);
    v->type = col->sqlType;
    v->isNull = 0;
    bool isNull = false;
    uint32_t len = 0;
    if (IsChar(col->sqlType) || IsBinary(col->sqlType)) {
        char *buf = p->buffers[ins.a].get();
        if (rcEvlFetchColumn(env->errors, col, buf, ins.b, &isNull, &len) < 0)
            return RC_EXP_ERROR;
        v->text = buf;
        v->length = len;
    } else {
        std::memset(&v->v, 0, sizeof v->v);
        if (rcEvlFetchColumn(env->errors, col, &v->v, sizeof v->v, &isNull, &len) < 0)
            return RC_EXP_ERROR;
        v->text = nullptr;
        v->length = len;
    }
    v->isNull = isNull ? 1 : 0;
    return RC_EXP_OK;
}

int16_t Concat(rcExpEnv *env, rcExpValue &l, const rcExpValue &r)
{
    const char *out;
    uint32_t n;
    int16_t rc = rcExpConcatText(env, l, r, &out, &n);
    if (rc < 0)
        return rc;
    l.type = SQL_VARCHAR;
    l.text = out;
    l.length = n;
    return rc;
}

int16_t NumberOf(rcExpEnv *env, const rcExpValue &v, double *d)
{
    if (rcExpToDouble(v, d, env->numScale))
        return RC_EXP_OK;
    if (IsChar(v.type)) {
        rcExpValue t;
        if (rcExpCast(env, v, SQL_DOUBLE, &t) < 0)
            return RC_EXP_ERROR;
        *d = t.v.f64;
        return RC_EXP_OK;
    }
    return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
}

int16_t SetDouble(rcExpEnv *env, rcExpValue &l, double d)
{
    if (!std::isfinite(d))
        return rcExpPost(env, RC_ENG_FLOATING_POINT_OVERFLOW);
    l.type = SQL_DOUBLE;
    l.text = nullptr;
    l.length = sizeof(double);
    l.v.f64 = d;
    return RC_EXP_OK;
}

int16_t Exact(rcExpEnv *env, uint8_t op, rcExpValue &l, const rcExpValue &r)
{
    rcExpValue a, b;
    if (rcExpCast(env, l, RC_SQL_DECIMAL38, &a) < 0 || rcExpCast(env, r, RC_SQL_DECIMAL38, &b) < 0)
        return RC_EXP_ERROR;
    MultiPrecisionNumber out;
    int rc;
    switch (op) {
    case RC_OP_ADD: rc = rcNumOp(a.v.num, b.v.num, out); break;
    case RC_OP_SUB: rc = rcNumOpSubtract(a.v.num, b.v.num, out); break;
    case RC_OP_MUL: rc = rcNumOpMultiply(a.v.num, b.v.num, out); break;
    default:
        if (rcNumSign(b.v.num) == kNumZero)
            return rcExpPost(env, RC_ENG_DIVISION_BY_ZERO);
        rc = rcNumOpDivide(a.v.num, b.v.num, out);
        break;
    }
    if (rc != 0)
        return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    l.type = RC_SQL_DECIMAL38;
    l.text = nullptr;
    l.length = sizeof(MultiPrecisionNumber);
    l.v.num = out;
    return RC_EXP_OK;
}

// A date or timestamp value plus or minus days; the result keeps the
// date-time's type and time of day.
int16_t AddDays(rcExpEnv *env, rcExpValue &l, const rcExpValue &dateSide, double days)
{
    rcExpValue d = dateSide;
    int16_t rc = 0;
    if (d.type == SQL_DATE)
        rc = rcEvlDateAddDays(dateSide.v.date, days, &d.v.date);
    else
        rc = rcEvlTimestampAddDays(dateSide.v.ts, days, &d.v.ts);
    if (rc != 0)
        return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
    l = d;
    return RC_EXP_OK;
}

int16_t DateOperand(rcExpEnv *env, const rcExpValue &v, TIMESTAMP_STRUCT *ts)
{
    if (!rcExpAsTimestamp(v, ts) || v.type == SQL_TIME)
        return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
    return RC_EXP_OK;
}

int16_t Arith(rcExpEnv *env, uint8_t op, rcExpValue &l, const rcExpValue &r)
{
    if (op == RC_OP_ADD && IsChar(r.type))
        return Concat(env, l, r);
    if (l.type == SQL_TIME || r.type == SQL_TIME || IsBinary(l.type) || IsBinary(r.type))
        return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
    bool ld = IsDateish(l.type), rd = IsDateish(r.type);
    if (ld || rd) {
        double days;
        if (op == RC_OP_ADD) {
            if (ld && rd)
                return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            if (NumberOf(env, ld ? r : l, &days) < 0)
                return RC_EXP_ERROR;
            return AddDays(env, l, ld ? l : r, days);
        }
        if (op != RC_OP_SUB)
            return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        if (ld && (rd || IsChar(r.type))) {
            TIMESTAMP_STRUCT a, b;
            if (DateOperand(env, l, &a) < 0 || DateOperand(env, r, &b) < 0)
                return RC_EXP_ERROR;
            if (rcEvlTimestampDiff(a, b, &days) != 0)
                return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
            return SetDouble(env, l, days);
        }
        if (ld) {
            if (NumberOf(env, r, &days) < 0)
                return RC_EXP_ERROR;
            return AddDays(env, l, l, -days);
        }
        if (IsChar(l.type)) { // text minus a date-time: the text is read as one
            TIMESTAMP_STRUCT a, b;
            if (DateOperand(env, l, &a) < 0 || DateOperand(env, r, &b) < 0)
                return RC_EXP_ERROR;
            if (rcEvlTimestampDiff(a, b, &days) != 0)
                return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
            return SetDouble(env, l, days);
        }
        return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
    }
    if ((l.type == RC_SQL_DECIMAL38 && !IsFloat(r.type)) ||
        (r.type == RC_SQL_DECIMAL38 && !IsFloat(l.type)))
        return Exact(env, op, l, r);
    double a, b;
    if (NumberOf(env, l, &a) < 0 || NumberOf(env, r, &b) < 0)
        return RC_EXP_ERROR;
    switch (op) {
    case RC_OP_ADD: return SetDouble(env, l, a + b);
    case RC_OP_SUB: return SetDouble(env, l, a - b);
    case RC_OP_MUL: return SetDouble(env, l, a * b);
    default:
        if (b == 0.0)
            return rcExpPost(env, RC_ENG_DIVISION_BY_ZERO);
        return SetDouble(env, l, a / b);
    }
}

int16_t Negate(rcExpEnv *env, rcExpValue &v)
{
    switch (v.type) {
    case SQL_INTEGER:
        if (v.v.i32 == std::numeric_limits<int32_t>::min())
            return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
        v.v.i32 = -v.v.i32;
        return RC_EXP_OK;
    case SQL_SMALLINT:
        if (v.v.i16 == std::numeric_limits<int16_t>::min())
            return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
        v.v.i16 = static_cast<int16_t>(-v.v.i16);
        return RC_EXP_OK;
    case SQL_REAL: v.v.f32 = -v.v.f32; return RC_EXP_OK;
    case SQL_FLOAT:
    case SQL_DOUBLE: v.v.f64 = -v.v.f64; return RC_EXP_OK;
    case RC_SQL_SCALED64:
        if (v.v.i64 == std::numeric_limits<int64_t>::min())
            return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
        v.v.i64 = -v.v.i64;
        return RC_EXP_OK;
    case RC_SQL_DECIMAL38:
        if (rcNumOpNegate(v.v.num) != 0)
            return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
        return RC_EXP_OK;
    default: {
        double d;
        if (NumberOf(env, v, &d) < 0)
            return RC_EXP_ERROR;
        return SetDouble(env, v, -d);
    }
    }
}

int16_t Run(rcExpEnv *env, ExprProgram *p, uint32_t pc, uint32_t base, rcExpValue *out)
{
    rcExpValue *s = p->stack.data() + base;
    uint32_t sp = 0;
    int16_t result = RC_EXP_OK;
    for (;; ++pc) {
        const rcExpInstr &ins = p->code[pc];
        int16_t rc = RC_EXP_OK;
        switch (ins.op) {
        case RC_OP_PUSH_CONST: s[sp++] = p->consts[ins.a]; break;
        case RC_OP_PUSH_COLUMN: rc = ReadColumn(env, p, ins, &s[sp++]); break;
        case RC_OP_PUSH_PARAM:
        case RC_OP_PUSH_SETFN:
        case RC_OP_PUSH_TEMPCOL: {
            rcExpValue &v = s[sp++];
            v = rcExpValue();
            auto &rt = env->rt;
            if (ins.op == RC_OP_PUSH_PARAM)
                rc = rt.param ? rt.param(env->rtCtx, ins.a, &v)
                              : rcExpPost(env, RC_MSG_GENERAL_ERROR);
            else if (ins.op == RC_OP_PUSH_SETFN)
                rc = rt.setFunction ? rt.setFunction(env->rtCtx, const_cast<void *>(ins.ptr), &v)
                                    : rcExpPost(env, RC_MSG_GENERAL_ERROR);
            else
                rc = rt.tempColumn ? rt.tempColumn(env->rtCtx, const_cast<void *>(ins.ptr), &v)
                                   : rcExpPost(env, RC_MSG_GENERAL_ERROR);
            break;
        }
        case RC_OP_PUSH_IF: {
            rcTruth truth = RC_UNKNOWN;
            rcExpValue v;
            rc = rcFltRunTruth(env, ins.a, &truth);
            if (rc >= 0)
                rc = rcExpRunSlot(env, truth == RC_TRUE ? ins.b : ins.c, &v);
            s = p->stack.data() + base; // a nested run may have grown the stack
            s[sp++] = v;
            break;
        }
        case RC_OP_ADD:
        case RC_OP_SUB:
        case RC_OP_MUL:
        case RC_OP_DIV:
            --sp;
            rc = Arith(env, ins.op, s[sp - 1], s[sp]);
            break;
        case RC_OP_NEG: rc = Negate(env, s[sp - 1]); break;
        case RC_OP_FN: {
            sp -= ins.a;
            rcExpValue r;
            rc = rcEvlScalarFunction(env, p, ins.fn, s + sp, static_cast<int>(ins.a), &r);
            s[sp++] = r;
            if (rc == RC_EXP_NULL) {
                s[sp - 1].isNull = 1;
                rc = RC_EXP_OK;
            }
            break;
        }
        case RC_OP_JUMP: pc = ins.a - 1; continue;
        case RC_OP_END: *out = s[0]; return result;
        default: return RC_EXP_ERROR;
        }
        if (rc < 0)
            return rc;
        if (rc == RC_EXP_WARNING)
            result = RC_EXP_WARNING;
        if (sp > 0 && s[sp - 1].isNull) { // every operation is strict
            *out = rcExpValue();
            out->type = ins.type ? ins.type : s[sp - 1].type;
            out->isNull = 1;
            return result;
        }
    }
}

} // namespace

int16_t rcExpRunSlot(rcExpEnv *env, rcExpSlot slot, rcExpValue *out)
{
    ExprProgram *p = env->expr;
    if (!p || slot == 0 || slot > p->slots.size())
        return rcExpPost(env, RC_MSG_GENERAL_ERROR);
    const rcExpSlotInfo &info = p->slots[slot - 1];
    if (p->runDepth == 0) {
        p->arena.reset();
        p->top = 0;
        rcEvlFpGuardOn();
    }
    if (p->runDepth >= env->maxDepth)
        return rcExpPost(env, RC_ENG_MAXIMUM_FILTER_EXPRESSION_DEPTH_REACHED);
    const rcExpInstr &first = p->code[info.start];
    if (info.direct && (first.op == RC_OP_PUSH_COLUMN || first.op == RC_OP_PUSH_CONST)) {
        // A lone column or constant (a comparison's side, mostly): what the
        // interpreter's push and end give, without the stack.
        ++p->runDepth;
        ++p->slotDepth;
        int16_t rc = RC_EXP_OK;
        if (first.op == RC_OP_PUSH_CONST)
            *out = p->consts[first.a];
        else
            rc = ReadColumn(env, p, first, out);
        --p->slotDepth;
        --p->runDepth;
        if (rc < 0) {
            if (p->slotDepth == 0)
                rcExpPost(env, RC_ENG_EXPRESSION_EVALUATION_ERROR);
            return rc;
        }
        if (out->isNull) {
            int16_t type = first.type ? first.type : out->type;
            *out = rcExpValue();
            out->type = type;
            out->isNull = 1;
        }
        return rc;
    }
    uint32_t base = p->top;
    if (p->stack.size() < base + info.depth + 1)
        p->stack.resize(base + info.depth + 1);
    p->top = base + info.depth + 1;
    ++p->runDepth;
    ++p->slotDepth;
    int16_t rc = Run(env, p, info.start, base, out);
    --p->slotDepth;
    --p->runDepth;
    p->top = base;
    if (rc < 0 && p->slotDepth == 0)
        rcExpPost(env, RC_ENG_EXPRESSION_EVALUATION_ERROR);
    return rc;
}

int16_t rcExpEvalValue(rcExpEnv *env, rcExpSlot slot, rcExpValue *out)
{
    *out = rcExpValue();
    return rcExpRunSlot(env, slot, out);
}

int16_t rcExpConvertValue(rcExpEnv *env, const rcExpValue &value, int16_t wanted, void *buffer,
                          int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset)
{
    int32_t scratch = 0;
    if (!outLength)
        outLength = &scratch;
    if (wanted == SQL_TINYINT)
        wanted = SQL_C_UTINYINT;
    bool wantChar = IsChar(wanted), wantBinary = IsBinary(wanted);
    const char *text = value.text;
    uint32_t length = value.length;
    // A number wanted as text in a buffer that holds any number's text is
    // converted into it (the value the cast and the copy below would give).
    if (wantChar && pieceOffset == 0 &&
        rcExpNumberTextInto(env, value, static_cast<char *>(buffer), bufferLength, outLength))
        return RC_EXP_OK;
    if (wantChar && !IsChar(value.type)) {
        rcExpValue t;
        int16_t rc = rcExpCast(env, value, SQL_VARCHAR, &t);
        if (rc < 0)
            return rc;
        text = t.text;
        length = t.length;
    }
    if (wantChar || (wantBinary && (IsBinary(value.type) || IsChar(value.type)))) {
        // Pieces: what is left from the offset on; a copy that does not fit
        // (a character value that fills the buffer exactly included, since
        // the terminator needs a byte) is cut and reported.
        uint32_t rest = pieceOffset < length ? length - pieceOffset : 0;
        int32_t room = wantChar ? bufferLength - 1 : bufferLength;
        if (room < 0)
            room = 0;
        uint32_t n = rest < static_cast<uint32_t>(room) ? rest : static_cast<uint32_t>(room);
        if (buffer && bufferLength > 0) {
            std::memcpy(buffer, text + (rest ? pieceOffset : 0), n);
            if (wantChar)
                static_cast<char *>(buffer)[n] = '\0';
        }
        *outLength = static_cast<int32_t>(rest);
        return rest > static_cast<uint32_t>(room) ? RC_EXP_WARNING : RC_EXP_OK;
    }
    // A number asked for in its own type (a column's integer into the
    // engine's integer) is the copy the converter would make.
    const int32_t same = value.type == wanted && (wanted == SQL_INTEGER || wanted == SQL_SMALLINT ||
                                                  wanted == SQL_DOUBLE)
                             ? rcSqlTypeOf(wanted)->valueBytes
                             : 0;
    if (same != 0 && buffer && bufferLength >= same) {
        std::memcpy(buffer, &value.v, static_cast<size_t>(same));
        *outLength = same;
        return RC_EXP_OK;
    }
    const void *src = IsChar(value.type) || IsBinary(value.type)
                          ? static_cast<const void *>(value.text)
                          : &value.v;
    int32_t srcLen =
        IsChar(value.type) || IsBinary(value.type) ? static_cast<int32_t>(value.length) : 0;
    int16_t precision = env->numPrecision, scale = env->numScale;
    if (value.type == SQL_TIMESTAMP) { // the whole text: seconds, or all nine fraction digits
        precision = 0;
        scale = 0;
    }
    int32_t msg = rcCnvConvert(src, value.type, srcLen, 0, buffer, static_cast<uint16_t>(wanted),
                               bufferLength, precision, scale, outLength);
    if (msg == kCnvMsgSuccess)
        return RC_EXP_OK;
    if (msg == kCnvMsgTruncated || msg == RC_MSG_STRING_DATA_RIGHT_TRUNCATION)
        return RC_EXP_WARNING;
    return rcExpPost(env, static_cast<uint32_t>(msg));
}

int16_t rcExpEvaluate(rcExpEnv *env, rcExpSlot slot, int16_t wantedType, void *buffer,
                      int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset, bool *isNull)
{
    int32_t scratch = 0;
    if (!outLength)
        outLength = &scratch;
    *isNull = false;
    ExprProgram *p = env->expr;
    if (!p || slot == 0 || slot > p->slots.size())
        return rcExpPost(env, RC_MSG_GENERAL_ERROR);
    const rcExpSlotInfo &info = p->slots[slot - 1];
    const rcExpInstr &first = p->code[info.start];
    // A long column wanted as text or bytes is read piece by piece straight
    // into the caller's buffer.
    if (info.direct && first.op == RC_OP_PUSH_COLUMN && p->runDepth == 0) {
        const auto *col = static_cast<const rcEvlColumnRef *>(first.ptr);
        bool longValue = col->sqlType == SQL_LONGVARCHAR || col->sqlType == SQL_LONGVARBINARY;
        if (longValue &&
            (rcCnvBothChar(col->sqlType, wantedType) ||
             rcCnvBothBinary(col->sqlType, wantedType)) &&
            buffer && bufferLength > 0) {
            bool null = false;
            uint32_t len = 0;
            int16_t rc =
                rcEvlFetchColumnPart(env->errors, col, buffer, static_cast<uint32_t>(bufferLength),
                                     pieceOffset, &null, &len);
            if (rc < 0)
                return rc;
            *isNull = null;
            *outLength = null ? 0 : static_cast<int32_t>(len);
            return rc == 1 ? RC_EXP_WARNING : RC_EXP_OK;
        }
    }
    rcExpValue v;
    int16_t rc;
    if (info.direct && first.op == RC_OP_PUSH_COLUMN && p->runDepth == 0) {
        // A plain column (the common case of a fetch): read without the
        // interpreter; the run's scratch space starts over as for a run.
        p->arena.reset();
        p->top = 0;
        rc = ReadColumn(env, p, first, &v);
        if (rc < 0)
            return rcExpPost(env, RC_ENG_EXPRESSION_EVALUATION_ERROR);
    } else {
        rc = rcExpEvalValue(env, slot, &v);
        if (rc < 0)
            return rc;
    }
    if (v.isNull) {
        *isNull = true;
        *outLength = 0;
        return RC_EXP_OK;
    }
    ++p->runDepth; // keep the run's texts while converting
    int16_t crc =
        rcExpConvertValue(env, v, wantedType, buffer, bufferLength, outLength, pieceOffset);
    --p->runDepth;
    if (crc < 0)
        return crc;
    return crc == RC_EXP_WARNING || rc == RC_EXP_WARNING ? RC_EXP_WARNING : RC_EXP_OK;
}

int16_t rcExpEvaluateAlloc(rcExpEnv *env, rcExpSlot slot, int16_t type, void **buffer,
                           int32_t *outLength, uint32_t pieceOffset)
{
    constexpr uint32_t kShortTextBuffer = 256;
    *buffer = nullptr;
    uint32_t size;
    if (IsChar(type)) {
        uint64_t want = static_cast<uint64_t>(rcExpSlotLength(env, slot)) + 1;
        size = static_cast<uint32_t>(want < kShortTextBuffer ? want : kShortTextBuffer);
    } else {
        size = type == SQL_INTEGER                    ? 4
               : type == SQL_SMALLINT                 ? 2
               : type == SQL_DATE || type == SQL_TIME ? 6
               : type == SQL_TIMESTAMP                ? 16
               : type == RC_SQL_DECIMAL38             ? 38
                                                      : 8;
    }
    void *block = rcMemAlloc(size);
    if (!block)
        return rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
    bool isNull = false;
    int32_t len = 0;
    int16_t rc = rcExpEvaluate(env, slot, type, block, static_cast<int32_t>(size), &len,
                               pieceOffset, &isNull);
    if (rc < 0 || isNull) {
        rcMemFree(block);
        if (outLength)
            *outLength = 0;
        return rc < 0 ? rc : static_cast<int16_t>(RC_EXP_OK);
    }
    uint32_t room = IsChar(type) ? size - 1 : size;
    if (outLength)
        *outLength = static_cast<uint32_t>(len) > room ? static_cast<int32_t>(room) : len;
    *buffer = block;
    return rc;
}

int16_t rcExpConcatText(rcExpEnv *env, const rcExpValue &a, const rcExpValue &b, const char **text,
                        uint32_t *length)
{
    const char *x, *y;
    uint32_t nx, ny;
    if (rcExpAsText(env, a, &x, &nx) < 0 || rcExpAsText(env, b, &y, &ny) < 0)
        return RC_EXP_ERROR;
    uint64_t n = static_cast<uint64_t>(nx) + ny;
    int16_t rc = RC_EXP_OK;
    if (n > RC_EXP_MAX_TEXT) {
        n = RC_EXP_MAX_TEXT;
        rc = RC_EXP_WARNING;
    }
    char *out = rcExpArenaAlloc(env, n + 1);
    if (!out)
        return RC_EXP_ERROR;
    uint32_t first = nx < n ? nx : static_cast<uint32_t>(n);
    std::memcpy(out, x, first);
    std::memcpy(out + first, y, n - first);
    out[n] = '\0';
    *text = out;
    *length = static_cast<uint32_t>(n);
    return rc;
}
