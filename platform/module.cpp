#include "platform/module.h"
#include "platform/strings.h"

#include <cctype>
#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace {

// Plain data: thread-local state with a destructor would outlive the library
// on threads that end after it is unloaded.
thread_local char t_lastError[256];

void SetLastError(const char *text) { std::snprintf(t_lastError, sizeof t_lastError, "%s", text); }

void *OpenLibrary(const std::string &name)
{
    void *h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *e = dlerror();
        SetLastError(e ? e : "cannot load library");
    }
    return h;
}

} // namespace

PlatModule *PlatLoadModule(const char *name)
{
    if (!name || !*name) {
        SetLastError("no library name");
        return nullptr;
    }
    t_lastError[0] = '\0';
    std::string given(name);
    void *h = OpenLibrary(given);
    if (!h && given.size() > 4) {
        std::string ext = given.substr(given.size() - 4);
        for (auto &c : ext)
            c = PlatAsciiLower(c);
        if (ext == ".dll") {
            std::string base = given.substr(0, given.size() - 4);
            size_t slash = base.find_last_of("/\\");
            std::string dir = slash == std::string::npos ? "" : base.substr(0, slash + 1);
            std::string file = slash == std::string::npos ? base : base.substr(slash + 1);
            for (auto &c : dir)
                if (c == '\\')
                    c = '/';
            for (auto &c : file)
                c = PlatAsciiLower(c);
            h = OpenLibrary(dir + "lib" + file + ".so");
        }
    }
    return static_cast<PlatModule *>(h);
}

void *PlatModuleSymbol(PlatModule *module, const char *symbol)
{
    if (!module || !symbol)
        return nullptr;
    return dlsym(module, symbol);
}

void PlatFreeModule(PlatModule *module)
{
    if (module)
        dlclose(module);
}

const char *PlatModuleError() { return t_lastError; }
