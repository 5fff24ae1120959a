// Module loading: shared libraries opened at run time (translation libraries).
// A Windows-style name "NAME.DLL" that does not load as given is tried again as
// "libNAME.so" (lower case), so odbc.ini entries written for either form work.
#pragma once

struct PlatModule;

// Null when the library cannot be loaded; PlatModuleError() then tells why.
PlatModule *PlatLoadModule(const char *name);
void *PlatModuleSymbol(PlatModule *module, const char *symbol);
void PlatFreeModule(PlatModule *module);
// The loader's last error text for this thread ("" when none).
const char *PlatModuleError();
