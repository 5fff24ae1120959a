// Fuzz target of the expression and filter programs. Input: the first line is
// an expression or search condition; each further line "column=value" sets
// a column of the test row (other columns are NULL). The text is parsed,
// typed by the test typer, compiled as a select-list expression and as a
// WHERE condition, and run; evaluation must never crash or read out of
// bounds, whatever it answers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/core/rclock.h"
#include "driver/engine/expr/tests/expr_test_util.h"

using namespace exptest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool globals = rcInitDriverGlobals() == 0;
    if (!globals || size > 4096)
        return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    if (input.find('\0') != std::string::npos)
        return 0;
    size_t eol = input.find('\n');
    std::string text = input.substr(0, eol);
    World w;
    while (eol != std::string::npos) {
        size_t next = input.find('\n', eol + 1);
        std::string line =
            input.substr(eol + 1, next == std::string::npos ? std::string::npos : next - eol - 1);
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            w.row[line.substr(0, eq)] = line.substr(eq + 1);
        eol = next;
    }
    w.params = {{SQL_INTEGER, "1"}, {SQL_VARCHAR, std::nullopt}, {SQL_DATE, "2000-01-01"}};

    if (const rcParseNode *expr = w.ParseExpr(text)) {
        rcExpSlot slot = 0;
        if (rcExpCompile(&w.env, expr, &slot, 0) == 0) {
            char buf[16];
            int32_t len = 0;
            bool isNull = false;
            for (int16_t type :
                 {SQL_C_CHAR, SQL_C_DOUBLE, SQL_C_LONG, SQL_C_TIMESTAMP, SQL_C_BINARY})
                rcExpEvaluate(&w.env, slot, type, buf, static_cast<int32_t>(size % sizeof buf),
                              &len, 0, &isNull);
            rcExpValue v;
            rcExpEvalValue(&w.env, slot, &v);
        }
    }
    if (const rcParseNode *cond = w.ParseCond(text)) {
        rcFltId filter = 0;
        if (rcFltCompile(&w.env, cond, &filter) == 0) {
            int passed = 0;
            rcFltRun(&w.env, filter, &passed);
            rcFltRun(&w.env, filter, &passed);
        }
    }
    return 0;
}
