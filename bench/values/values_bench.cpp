// rcCnvConvert on the conversions a fetch performs for every column value:
// the SQL type of the column into the C type the application bound.
#include "driver/core/rccnv.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

template <typename Src>
void convertLoop(benchmark::State &state, const Src *src, int16_t srcType, int32_t srcLen,
                 void *dst, uint16_t dstType, int32_t dstLen, int16_t precision = 0,
                 int16_t scale = 0)
{
    int32_t outLen = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(src);
        int32_t rc =
            rcCnvConvert(src, srcType, srcLen, 0, dst, dstType, dstLen, precision, scale, &outLen);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    if (rcCnvConvert(src, srcType, srcLen, 0, dst, dstType, dstLen, precision, scale, &outLen) !=
        kCnvMsgSuccess)
        state.SkipWithError("conversion failed");
    state.SetItemsProcessed(state.iterations());
}

void IntegerToLong(benchmark::State &state)
{
    int32_t src = 123456789, dst = 0;
    convertLoop(state, &src, SQL_INTEGER, 4, &dst, SQL_C_LONG, sizeof dst);
}
BENCHMARK(IntegerToLong);

void IntegerToChar(benchmark::State &state)
{
    int32_t src = -123456789;
    char dst[32];
    convertLoop(state, &src, SQL_INTEGER, 4, dst, SQL_C_CHAR, sizeof dst);
}
BENCHMARK(IntegerToChar);

void DoubleToDouble(benchmark::State &state)
{
    double src = 3.14159, dst = 0;
    convertLoop(state, &src, SQL_DOUBLE, 8, &dst, SQL_C_DOUBLE, sizeof dst);
}
BENCHMARK(DoubleToDouble);

// A VARCHAR value of the given length, handed over with its explicit length
// as a fetch does (arg 0), or terminated (SQL_NTS).
void VarcharToChar(benchmark::State &state)
{
    std::string src(static_cast<size_t>(state.range(0)), 'x');
    std::string dst(src.size() + 1, '\0');
    int32_t srcLen = state.range(1) != 0 ? SQL_NTS : static_cast<int32_t>(src.size());
    convertLoop(state, src.c_str(), SQL_VARCHAR, srcLen, dst.data(), SQL_C_CHAR,
                static_cast<int32_t>(dst.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(VarcharToChar)->ArgNames({"len", "nts"})->ArgsProduct({{20, 200, 2000}, {0, 1}});

void DecimalTextToChar(benchmark::State &state)
{
    const char src[] = "-1234567.89";
    char dst[40];
    convertLoop(state, src, SQL_DECIMAL, static_cast<int32_t>(std::strlen(src)), dst, SQL_C_CHAR,
                sizeof dst, 12, 2);
}
BENCHMARK(DecimalTextToChar);

void TimestampToTimestamp(benchmark::State &state)
{
    TIMESTAMP_STRUCT src{2024, 2, 29, 23, 59, 58, 123456000}, dst{};
    convertLoop(state, &src, SQL_TIMESTAMP, sizeof src, &dst, SQL_C_TIMESTAMP, sizeof dst);
}
BENCHMARK(TimestampToTimestamp);

} // namespace

BENCHMARK_MAIN();
