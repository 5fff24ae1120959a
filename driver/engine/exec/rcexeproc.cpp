// Stored procedure calls (see rcexeproc.h).
//
// Preparation opens the procedure, splits its column descriptions into the
// arguments (the return value first) and the result columns, and pairs the
// call's arguments with them: parameters may take any argument, literals
// only input arguments, and their values must convert to the argument's
// type. Execution converts every input value into the argument's type (the
// character values through the translation library when the call runs over
// the table-access layer), runs the procedure and writes each output value
// back into its parameter.
#include "driver/engine/exec/rcexeproc.h"

#include <cstdio>
#include <cstring>
#include <sqlext.h>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/tam.h"

namespace {

bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsVar(int16_t t)
{
    return IsText(t) || t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}
bool IsInput(uint16_t use) { return use == SQL_PARAM_INPUT || use == SQL_PARAM_INPUT_OUTPUT; }
bool IsOutput(uint16_t use)
{
    return use == SQL_PARAM_OUTPUT || use == SQL_PARAM_INPUT_OUTPUT || use == SQL_RETURN_VALUE;
}

int16_t PostDrm(rcErrorQueue *errors, int32_t code)
{
    rcErrPost(errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return -1;
}

// msgId with the text of textId, its %d filled with number.
int16_t PostNumbered(rcErrorQueue *errors, uint32_t msgId, uint32_t textId, int number)
{
    const char *format = rcResFind(textId);
    char text[160];
    std::snprintf(text, sizeof text, format != nullptr ? format : "%d", number);
    rcErrPost(errors, msgId, nullptr, 0, text);
    return -1;
}

// The bytes a value of the type needs in its C form.
uint32_t FixedSize(int16_t t)
{
    switch (t) {
    case SQL_BIT:
    case SQL_TINYINT: return 1;
    case SQL_SMALLINT: return 2;
    case SQL_INTEGER:
    case SQL_REAL: return 4;
    case SQL_DATE: return sizeof(DATE_STRUCT);
    case SQL_TIME: return sizeof(TIME_STRUCT);
    case SQL_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    default: return 40;
    }
}

void ReadyEnv(rcPrcCall *call, rcErrorQueue *errors)
{
    if (!call->envReady) {
        rcExpEnvInit(&call->env);
        call->envReady = true;
    }
    call->env.errors = errors;
}

// The value an argument of the call gives: a parameter's or the literal's.
int16_t ArgValue(rcPrcCall *call, const rcPrcCallArg &arg, const rcPrcParamIo &io, rcExpValue *out)
{
    *out = rcExpValue();
    if (arg.kind == RC_PRC_ARG_PARAM) {
        if (io.value == nullptr)
            return static_cast<int16_t>(rcErrNotCapable(call->env.errors));
        return io.value(io.ctx, arg.param, out);
    }
    out->type = SQL_VARCHAR;
    out->text = arg.literal.c_str();
    out->length = static_cast<uint32_t>(arg.literal.size());
    return 0;
}

// --- The table-access layer's data module ----------------------------------

int32_t TamOpen(void *ctx, const char *database, const char *name, TamTableHandle **handle)
{
    return TamOpenProcedure(static_cast<TamSession *>(ctx), database, name, handle);
}

// The description rows: column 1 the name, 2 the use, 3 the SQL type, 4 the
// length, 5 the scale.
int32_t TamDescribe(void *ctx, TamTableHandle *procedure, std::vector<rcPrcColumnDesc> *out)
{
    auto *session = static_cast<TamSession *>(ctx);
    TamInfoRecord rec{};
    int32_t rc = TamGetProcedureColumnInfo(session, procedure, &rec);
    if (rc != 0)
        return rc;
    for (int32_t step = static_cast<int32_t>(0x80000000u);; step = 1) {
        rc = TamMove(session, rec.handle, step);
        if (rc == kDrmErrNoCurrentRecord) {
            rc = 0;
            break;
        }
        if (rc != 0)
            break;
        rcPrcColumnDesc d{};
        int32_t use = 0, type = 0, length = 0, scale = 0;
        uint32_t got = 0;
        rc = TamGetColumn(session, rec.handle, 1, d.name, sizeof d.name, &got, nullptr, SQL_CHAR);
        if (rc == 0)
            rc = TamGetColumn(session, rec.handle, 2, &use, 4, &got, nullptr, SQL_INTEGER);
        if (rc == 0)
            rc = TamGetColumn(session, rec.handle, 3, &type, 4, &got, nullptr, SQL_INTEGER);
        if (rc == 0)
            rc = TamGetColumn(session, rec.handle, 4, &length, 4, &got, nullptr, SQL_INTEGER);
        if (rc == 0 || rc == kDrmWarnNull)
            rc = TamGetColumn(session, rec.handle, 5, &scale, 4, &got, nullptr, SQL_INTEGER);
        if (rc != 0 && rc != kDrmWarnNull)
            break;
        d.use = static_cast<uint16_t>(use);
        d.sqlType = static_cast<int16_t>(type);
        d.length = static_cast<uint32_t>(length);
        d.scale = static_cast<int16_t>(scale);
        out->push_back(d);
    }
    int32_t closed = TamCloseTable(session, rec.handle);
    return rc != 0 ? rc : closed;
}

int32_t TamExecute(void *ctx, TamTableHandle *procedure, rcPrcArgArray *in, rcPrcArgArray *out)
{
    return TamExecProcedure(static_cast<TamSession *>(ctx), procedure,
                            reinterpret_cast<uintptr_t>(in), reinterpret_cast<uintptr_t>(out));
}

int32_t TamMoveRow(void *ctx, TamTableHandle *procedure, int32_t direction)
{
    return TamMove(static_cast<TamSession *>(ctx), procedure, direction);
}

int32_t TamColumn(void *ctx, TamTableHandle *procedure, uint32_t column, void *buffer,
                  uint32_t length, uint32_t *outLength, int16_t sqlType)
{
    return TamGetColumn(static_cast<TamSession *>(ctx), procedure, column, buffer, length,
                        outLength, nullptr, sqlType);
}

void TamClose(void *ctx, TamTableHandle *procedure)
{
    TamCloseTable(static_cast<TamSession *>(ctx), procedure);
}

// Splits the descriptions and pairs the call's arguments with them.
int16_t CheckArguments(rcPrcCall *call, const rcPrcCallText &text,
                       const std::vector<rcPrcColumnDesc> &columns, rcErrorQueue *errors)
{
    bool returns = false;
    for (const rcPrcColumnDesc &c : columns) {
        switch (c.use) {
        case SQL_RESULT_COL: call->results.push_back(c); break;
        case SQL_RETURN_VALUE:
            if (returns)
                return static_cast<int16_t>(
                    rcErrRaise(errors, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED));
            returns = true;
            call->arguments.insert(call->arguments.begin(), c);
            break;
        case SQL_PARAM_INPUT:
        case SQL_PARAM_INPUT_OUTPUT:
        case SQL_PARAM_OUTPUT: call->arguments.push_back(c); break;
        default:
            return static_cast<int16_t>(
                rcErrRaise(errors, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED));
        }
    }
    if (text.returnValue && !returns)
        return static_cast<int16_t>(rcErrRaise(errors, RC_ENG_STORED_PROCEDURE_DOES_NOT_RETURN));
    // What the call gives each argument: the return value's parameter (none
    // when the call does not ask for it), then the written arguments.
    if (returns) {
        rcPrcCallArg r;
        r.kind = text.returnValue ? RC_PRC_ARG_PARAM : RC_PRC_ARG_OTHER;
        r.param = text.returnParam;
        call->bound.push_back(r);
    }
    call->bound.insert(call->bound.end(), text.args.begin(), text.args.end());
    if (call->bound.size() != call->arguments.size())
        return static_cast<int16_t>(rcErrRaise(errors, RC_ENG_INVALID_MISSING_ARGUMENT));
    ReadyEnv(call, errors);
    for (size_t i = 0; i < call->arguments.size(); ++i) {
        const rcPrcColumnDesc &a = call->arguments[i];
        const rcPrcCallArg &b = call->bound[i];
        int number = static_cast<int>(returns ? i : i + 1);
        if (b.kind == RC_PRC_ARG_OTHER && !(returns && i == 0 && !text.returnValue))
            return PostNumbered(errors, RC_MSG_GENERAL_ERROR, RC_TXT_SQL_OPTION_NOT_SUPPORTED,
                                number);
        if (IsOutput(a.use) && b.kind == RC_PRC_ARG_LITERAL)
            return static_cast<int16_t>(
                rcErrRaise(errors, RC_ENG_STORED_PROCEDURE_ARGUMENT_REQUIRES_OUTPUT));
        if (b.kind != RC_PRC_ARG_LITERAL)
            continue;
        // A literal: a text for a text or date argument, a number for a
        // numeric or text one.
        bool dated = a.sqlType == SQL_DATE || a.sqlType == SQL_TIME || a.sqlType == SQL_TIMESTAMP;
        if (b.literalIsText ? !IsText(a.sqlType) && !dated
                            : dated || !(IsText(a.sqlType) || !IsVar(a.sqlType)))
            return static_cast<int16_t>(rcErrRaise(errors, RC_ENG_INCOMPATIBLE_TYPES_PREDICATE));
        if (b.literal.size() > RC_PRC_MAX_DATA)
            return static_cast<int16_t>(
                rcErrRaise(errors, RC_ENG_MAXIMUM_STORED_PROCEDURE_DATA_SIZE));
    }
    if (returns)
        call->flags |= RC_PRC_RETURN;
    for (const rcPrcColumnDesc &a : call->arguments) {
        if (IsInput(a.use))
            call->flags |= RC_PRC_INPUT;
        if (a.use == SQL_PARAM_OUTPUT || a.use == SQL_PARAM_INPUT_OUTPUT)
            call->flags |= RC_PRC_OUTPUT;
    }
    if (!call->results.empty())
        call->flags |= RC_PRC_RESULTS;
    return 0;
}

} // namespace

rcPrcDataModule rcPrcTamModule(TamSession *session)
{
    rcPrcDataModule dm;
    dm.open = &TamOpen;
    dm.describe = &TamDescribe;
    dm.execute = &TamExecute;
    dm.move = &TamMoveRow;
    dm.column = &TamColumn;
    dm.close = &TamClose;
    dm.ctx = session;
    return dm;
}

int16_t rcPrcPrepare(rcPrcCall *call, const rcPrcDataModule &dm, const char *database,
                     const rcPrcCallText &text, rcErrorQueue *errors)
{
    rcPrcClose(call);
    call->dm = dm;
    if (text.name.empty() || text.name.size() > RC_PRC_NAME_MAX)
        return static_cast<int16_t>(rcErrRaise(errors, RC_ENG_INVALID_VIEW_TABLE_NAME));
    std::memcpy(call->name, text.name.c_str(), text.name.size() + 1);
    int32_t rc = dm.open(dm.ctx, database, call->name, &call->handle);
    if (rc != 0) {
        call->handle = nullptr;
        return PostDrm(errors, rc);
    }
    std::vector<rcPrcColumnDesc> columns;
    rc = dm.describe(dm.ctx, call->handle, &columns);
    int16_t result = rc != 0 ? PostDrm(errors, rc) : CheckArguments(call, text, columns, errors);
    if (result != 0)
        rcPrcClose(call);
    return result;
}

int16_t rcPrcExecute(rcPrcCall *call, const rcPrcParamIo &io, rcErrorQueue *errors)
{
    if (call->handle == nullptr)
        return static_cast<int16_t>(rcErrRaise(errors, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    ReadyEnv(call, errors);
    size_t n = call->arguments.size();
    bool returns = (call->flags & RC_PRC_RETURN) != 0;
    // The application's binding of each parameter against the argument's use.
    for (size_t i = 0; i < n; ++i) {
        const rcPrcCallArg &b = call->bound[i];
        if (b.kind != RC_PRC_ARG_PARAM || io.use == nullptr)
            continue;
        int16_t bound = io.use(io.ctx, b.param);
        uint16_t use = call->arguments[i].use;
        bool wantsOut = IsOutput(use), wantsIn = IsInput(use);
        bool givesOut = bound == SQL_PARAM_OUTPUT || bound == SQL_PARAM_INPUT_OUTPUT;
        bool givesIn = bound == SQL_PARAM_INPUT || bound == SQL_PARAM_INPUT_OUTPUT;
        if (wantsOut != givesOut || wantsIn != givesIn)
            return static_cast<int16_t>(
                rcErrRaise(errors, RC_ENG_PARAMETER_INPUT_OUTPUT_TYPE_DOES));
    }
    // Buffers of this execution: the input values, then the outputs.
    // (a buffer keeps its bytes where they are when the list grows).
    std::vector<std::vector<char>> buffers;
    std::vector<rcPrcArgValue> inputs, outputs;
    std::vector<size_t> outputArg;
    for (size_t i = 0; i < n; ++i) {
        const rcPrcColumnDesc &a = call->arguments[i];
        uint16_t position = static_cast<uint16_t>(returns ? i : i + 1);
        if (IsInput(a.use)) {
            rcExpValue v;
            if (ArgValue(call, call->bound[i], io, &v) < 0)
                return -1;
            if (!v.isNull && IsVar(v.type) && v.length > RC_PRC_MAX_DATA)
                return static_cast<int16_t>(
                    rcErrRaise(errors, RC_ENG_MAXIMUM_STORED_PROCEDURE_DATA_SIZE));
            uint32_t size = IsVar(a.sqlType) ? (v.isNull ? 0 : v.length) + 1 : FixedSize(a.sqlType);
            if (IsVar(a.sqlType) && !IsVar(v.type))
                size = 64; // a number or date written as text
            buffers.emplace_back(size);
            rcPrcArgValue in{position, a.sqlType, 0, v.isNull ? 1u : 0u, buffers.back().data(), 0};
            if (!v.isNull) {
                int32_t length = 0;
                int16_t rc = rcExpConvertValue(&call->env, v, a.sqlType, in.data,
                                               static_cast<int32_t>(size), &length, 0);
                if (rc != 0)
                    return PostNumbered(errors, RC_MSG_GENERAL_ERROR,
                                        RC_TXT_ERROR_IN_PROCEDURE_ARGUMENT, position);
                in.length = static_cast<uint32_t>(length);
                if (IsText(a.sqlType) && call->dm.open == &TamOpen &&
                    TamConvertParam(static_cast<TamSession *>(call->dm.ctx), errors, a.sqlType,
                                    in.data, length, size) != 0)
                    return -1;
            }
            inputs.push_back(in);
        }
        if (IsOutput(a.use) && call->bound[i].kind == RC_PRC_ARG_PARAM) {
            uint32_t size = IsVar(a.sqlType) ? a.length + 1 : FixedSize(a.sqlType);
            if (IsVar(a.sqlType) && a.length > RC_PRC_MAX_DATA)
                return static_cast<int16_t>(
                    rcErrRaise(errors, RC_ENG_MAXIMUM_STORED_PROCEDURE_DATA_SIZE));
            buffers.emplace_back(size);
            outputs.push_back({position, a.sqlType, 0, 0, buffers.back().data(), size});
            outputArg.push_back(i);
        }
    }
    rcPrcArgArray inArray{static_cast<uint32_t>(inputs.size()), inputs.data()};
    rcPrcArgArray outArray{static_cast<uint32_t>(outputs.size()), outputs.data()};
    int32_t rc = call->dm.execute(call->dm.ctx, call->handle, &inArray, &outArray);
    if (rc < 0)
        return PostDrm(errors, rc);
    int16_t result = 0;
    for (size_t k = 0; k < outputs.size(); ++k) {
        const rcPrcArgValue &out = outputs[k];
        rcExpValue v;
        v.type = out.sqlType;
        v.isNull = out.isNull != 0 ? 1 : 0;
        uint32_t length = out.length < out.capacity ? out.length : out.capacity;
        if (IsVar(out.sqlType)) {
            static_cast<char *>(out.data)[length < out.capacity ? length : out.capacity - 1] = '\0';
            v.text = static_cast<const char *>(out.data);
            v.length = length;
        } else {
            std::memcpy(&v.v, out.data, length < sizeof v.v ? length : sizeof v.v);
            v.length = length;
        }
        if (io.output == nullptr)
            continue;
        int16_t w = io.output(io.ctx, call->bound[outputArg[k]].param, v);
        if (w == 1) {
            rcErrRaise(errors, RC_MSG_DATA_TRUNCATED);
            result = 1;
        } else if (w < 0) {
            return PostNumbered(errors, RC_MSG_GENERAL_ERROR, RC_TXT_ERROR_WRITING_OUTPUT_PARAMETER,
                                static_cast<int>(call->bound[outputArg[k]].param + 1));
        }
    }
    if ((call->flags & RC_PRC_RESULTS) != 0)
        call->fetched = 0;
    return result;
}

int16_t rcPrcFetch(rcPrcCall *call, rcErrorQueue *errors)
{
    if (call->handle == nullptr || (call->flags & RC_PRC_RESULTS) == 0)
        return static_cast<int16_t>(rcErrRaise(errors, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    int32_t rc = call->dm.move(call->dm.ctx, call->handle,
                               call->fetched == 0 ? static_cast<int32_t>(0x80000000u) : 1);
    call->fetched = 1;
    if (rc == kDrmErrNoCurrentRecord)
        return 100;
    return rc != 0 ? PostDrm(errors, rc) : 0;
}

int16_t rcPrcGetColumn(rcPrcCall *call, uint16_t column, void *buffer, uint32_t length,
                       uint32_t *outLength, bool *isNull, rcErrorQueue *errors)
{
    *isNull = false;
    *outLength = 0;
    if (call->handle == nullptr || column >= call->results.size())
        return static_cast<int16_t>(rcErrRaise(errors, RC_MSG_INVALID_COLUMN_NUMBER));
    int32_t rc = call->dm.column(call->dm.ctx, call->handle, column + 1u, buffer, length, outLength,
                                 call->results[column].sqlType);
    if (rc == kDrmWarnNull) {
        *isNull = true;
        return 0;
    }
    if (rc == kDrmWarnTruncated)
        return 1;
    return rc != 0 ? PostDrm(errors, rc) : 0;
}

void rcPrcClose(rcPrcCall *call)
{
    if (call->handle != nullptr && call->dm.close != nullptr)
        call->dm.close(call->dm.ctx, call->handle);
    call->handle = nullptr;
    call->flags = 0;
    call->fetched = 0;
    call->arguments.clear();
    call->results.clear();
    call->bound.clear();
    if (call->envReady)
        rcExpEnvFree(&call->env);
    call->envReady = false;
}

void rcPrcClearCursor(rcPrcCall *call) { call->handle = nullptr; }
