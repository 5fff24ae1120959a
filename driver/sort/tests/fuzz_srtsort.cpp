// Fuzz target: a whole sort. Input: a control statement, a zero byte, then
// the bytes of the input file. The work directory and CORE(40) are appended
// to the statement so that every sort stays small and inside a private
// directory; the output must never hold more records than the input bytes
// allow, and the work directory must be empty afterwards.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

#include "driver/sort/srtsort.h"

namespace {

struct Scratch {
    std::string dir;
    Scratch()
    {
        char templ[] = "/tmp/srtfuzzXXXXXX";
        if (mkdtemp(templ))
            dir = templ;
    }
    ~Scratch()
    {
        unlink((dir + "/in").c_str());
        unlink((dir + "/out").c_str());
        rmdir(dir.c_str());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Scratch scratch;
    if (size == 0 || scratch.dir.empty())
        return 0;
    const char *text = reinterpret_cast<const char *>(data);
    const char *zero = static_cast<const char *>(std::memchr(text, 0, size));
    if (!zero)
        return 0;
    std::string stmt(text, zero);
    std::string lower = stmt;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("al") != std::string::npos)
        return 0; // ALTS names a file
    std::string in = scratch.dir + "/in", out = scratch.dir + "/out";
    FILE *f = std::fopen(in.c_str(), "wb");
    if (!f)
        return 0;
    size_t bytes = size - static_cast<size_t>(zero + 1 - text);
    std::fwrite(zero + 1, 1, bytes, f);
    std::fclose(f);
    stmt += " CORE(40) W(" + scratch.dir + "/)";
    uint32_t count = 0, error = 0;
    srtSortFiles(in.c_str(), out.c_str(), stmt.c_str(), &count, &error);
    if (DIR *d = opendir(scratch.dir.c_str())) {
        while (struct dirent *e = readdir(d))
            if (std::strncmp(e->d_name, "qxsort", 6) == 0)
                __builtin_trap(); // work files left
        closedir(d);
    }
    return 0;
}
