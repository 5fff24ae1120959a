// qxsort INPUT OUTPUT STATEMENT: runs one sort with the three texts as given
// and prints the record count and the error code. Exits 0 only when the
// error code is 0.
#include <cstdio>

#include "driver/sort/srtsort.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT STATEMENT\n", argv[0]);
        return 2;
    }
    uint32_t count = 0, error = 0;
    srtSortFiles(argv[1], argv[2], argv[3], &count, &error);
    std::printf("records %u error %u\n", count, error);
    return error == 0 ? 0 : 1;
}
