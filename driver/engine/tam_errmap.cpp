// Data-module codes to message ids: one row per code, ids 11002..11090 in
// table order, then the connection failures (11091..11095). A code no row
// holds is the general error.
#include "driver/core/rcmsgid.h"
#include "driver/engine/tam.h"

namespace {

constexpr int32_t kCodes[] = {
    -1001, -1002, -1003, 1004,  1006,  -1010, -1011, -1020, -1021, -1022, -1023, -1024, -1025,
    -1026, -1027, -1028, -1029, -1031, -1032, -1038, 1039,  -1040, -1044, -1045, -1047, -1051,
    -1064, -1101, -1102, -1104, -1105, -1113, -1114, -1202, -1203, -1204, -1206, -1207, 1301,
    -1302, -1303, -1304, -1305, -1309, -1310, -1311, -1404, -1402, -1403, -1501, -1504, -1505,
    -1506, -1507, -1508, -1511, 1512,  -1513, -1514, -1515, -1516, -1517, -1601, -1603, -1605,
    -1608, -1609, -1804, -1805, -1806, -1807, -1808, -1809, -1811, -1901, -1902, -1903, -1905,
    -1907, -5002, 5003,  -5004, -5008, 5011,  -5020, -5021, -5019, 5040,  -5022,
};
static_assert(sizeof kCodes / sizeof kCodes[0] == 89, "ids 11002..11090");

constexpr struct {
    int32_t code;
    uint16_t id;
} kConnectionCodes[] = {
    {kDrmErrNoServerAtAddress, RC_DRM_NO_SERVER_AT_ADDRESS},
    {kDrmErrServerNotAnswering, RC_DRM_SERVER_NOT_ANSWERING},
    {kDrmErrTimedOut, RC_DRM_TIMED_OUT},
    {kDrmErrLinkBroken, RC_DRM_LINK_BROKEN},
    {kDrmErrLoginTooLong, RC_DRM_LOGIN_TOO_LONG},
};

} // namespace

uint16_t rcErrMapDrm(int32_t code)
{
    for (uint16_t i = 0; i < sizeof kCodes / sizeof kCodes[0]; ++i)
        if (kCodes[i] == code)
            return static_cast<uint16_t>(11002 + i);
    for (const auto &c : kConnectionCodes)
        if (c.code == code)
            return c.id;
    return RC_MSG_GENERAL_ERROR;
}
