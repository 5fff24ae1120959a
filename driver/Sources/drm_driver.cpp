#include <cstring>
#include <new>

#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_trace.h"

namespace {

uint32_t SessionKey(const VDRMSession &s) { return s.sessionId; }

// Session ids come from one process-wide counter (guarded by the module lock).
uint32_t g_nextSessionId = 1;

} // namespace

int32_t DrmAnswerNumber(uint32_t value, uint32_t width, void *buffer, uint32_t length,
                        uint32_t *outLength)
{
    if (length < width || !buffer)
        return kDrmErrBufferTooSmall;
    if (width == 2) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(buffer, &v, 2);
    } else {
        std::memcpy(buffer, &value, 4);
    }
    if (outLength)
        *outLength = width;
    return 0;
}

int32_t DrmAnswerText(const char *text, void *buffer, uint32_t length, uint32_t *outLength)
{
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    if (length < n || (!buffer && n > 0))
        return kDrmErrBufferTooSmall;
    if (n > 0)
        std::memcpy(buffer, text, n);
    if (outLength)
        *outLength = n;
    return 0;
}

VDRMDriver::VDRMDriver() : sessions(4, &SessionKey, false) {}

VDRMDriver::~VDRMDriver()
{
    lastSession = nullptr;
    sessions.oClear();
}

VDRMDriver &DrmDriver()
{
    static VDRMDriver *driver = [] {
        DrmNetLibInit(); // the manager outlives the driver object
        static VDRMDriver object;
        return &object;
    }();
    return *driver;
}

int32_t VDRMDriver::oGetInfo(uint32_t session, uint32_t item, void *buffer, uint32_t length,
                             uint32_t *outLength)
{
    if (session != kDrmDriverSession) {
        VDRMSession *s = sessions.oFindObject(session);
        if (!s)
            return kDrmErrBadSession;
        return s->oGetInfo(item, buffer, length, outLength);
    }
    int32_t result;
    switch (item) {
    case 1:
        result = DrmAnswerNumber(0, 4, buffer, length, outLength);
        DrmTraceParam("DRM_infoValidateQualifier -> FALSE\n");
        return result;
    case 2:
        result = DrmAnswerText(driverFileName, buffer, length, outLength);
        DrmTraceParamf("DRM_infoDriverName -> %s", driverFileName);
        DrmTraceWrite("\n");
        return result;
    case 3:
        result = DrmAnswerNumber(1, 4, buffer, length, outLength);
        DrmTraceParam("DRM_infoSesPasswordSupport -> TRUE\n");
        return result;
    case 4: return DrmAnswerNumber(0, 4, buffer, length, outLength);
    case 6:
        // No keywords of our own for the data-source settings.
        DrmTraceParam("DRM_infoOdbcIniTokens -> DRM_errNoCurrentRecord\n");
        return kDrmErrNoCurrentRecord;
    default:
        DrmLogWrite("VDRMDriver::oGetInfo : flag not implemented\n");
        return kDrmErrInfoNotAnswered;
    }
}

VDRMSession *VDRMDriver::oGetSession(uint32_t session)
{
    if (lastSession && session == lastSessionId)
        return lastSession;
    VDRMSession *s = sessions.oFindObject(session);
    if (!s)
        throw VError(kDrmErrBadSession, kDrmSrcSess, 555, "bad session ID");
    lastSessionId = session;
    lastSession = s;
    return s;
}

int32_t VDRMDriver::oBeginSession(uint32_t *session, const char *user, const char *password,
                                  const char *dataSource)
{
    if (!session)
        return -1;
    std::unique_ptr<VDRMSession> s(new (std::nothrow) VDRMSession(this, g_nextSessionId));
    if (!s)
        return -1;
    ++g_nextSessionId;
    *session = s->sessionId;
    auto copy = [](char *dest, const char *src) {
        if (src)
            std::strncpy(dest, src, 255);
        dest[255] = 0;
    };
    copy(s->user, user);
    copy(s->password, password);
    copy(s->dataSource, dataSource);
    if (sessions.oAdd(s) < 0) {
        *session = 0;
        return -2;
    }
    return 0;
}

int32_t VDRMDriver::oEndSession(uint32_t session)
{
    bool found = false;
    int32_t at = sessions.oFind(session, &found);
    if (!found)
        return -1;
    lastSession = nullptr;
    sessions.oDelete(at);
    return 0;
}
