// qxserver: not built yet; the target exists so every deliverable builds.
#include <cstdio>

int main()
{
    std::fprintf(stderr, "qxserver: not built yet\n");
    return 1;
}
