// Connection strings as an application hands them over: parsing into the
// attribute table, the completed and browse strings built from it into small
// and large buffers, and the masking of secrets for trace lines.
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcodbc_impl.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct Handles {
    Handles()
    {
        SQLAllocEnvImpl(&env);
        SQLAllocConnectImpl(static_cast<rcEnv *>(env), &dbc);
    }
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Handles handles; // one environment for the whole run
    auto *conn = static_cast<rcConn *>(handles.dbc);
    if (!conn)
        return 0;
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str(); // the application's text ends at its first NUL
    rcErrClearQueue(&conn->errors);
    rcConnParseConnStr(conn, text.c_str());
    for (int64_t room : {int64_t{0}, int64_t{1}, int64_t{7}, int64_t{4096}}) {
        std::string out(static_cast<size_t>(room), '\0');
        int64_t length = 0;
        rcConnBuildConnStr(conn, room ? out.data() : nullptr, room, &length, false);
        rcConnBuildConnStr(conn, room ? out.data() : nullptr, room, &length, true);
    }
    rcConnMaskSecrets(text.c_str());
    rcConnClearAttributes(conn);
    rcErrClearQueue(&conn->errors);
    return 0;
}
