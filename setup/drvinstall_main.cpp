// drvinstall: not built yet; the target exists so every deliverable builds.
#include <cstdio>

int main()
{
    std::fprintf(stderr, "drvinstall: not built yet\n");
    return 1;
}
