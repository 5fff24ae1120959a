// qxsort INPUT OUTPUT STATEMENT: runs one sort and prints the record count
// and the error code.
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT STATEMENT\n", argv[0]);
        return 2;
    }
    std::fprintf(stderr, "qxsort: not built yet\n");
    return 1;
}
