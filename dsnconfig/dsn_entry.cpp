// The setup library's export, ConfigDSN, called by the ODBC installer.
// Loading the library starts the server-connection manager (and with it the
// client library); unloading stops both (drm_netlink.h).
#include "dsnconfig/dsn_config.h"
#include "driver/Sources/drm_netlink.h"

#include <odbcinst.h>

namespace {

struct DsnLibrary {
    DsnLibrary() { DrmNetLibInit(); }
};
DsnLibrary g_library;

} // namespace

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDSN(HWND window, WORD request,
                                                                         LPCSTR driver,
                                                                         LPCSTR attributes)
{
    return DsnConfigure(window != nullptr, request, driver, attributes);
}
