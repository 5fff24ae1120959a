// Root class and exception of the data module.
//
// Every data-module object derives from VObject and is destroyed through it.
// VError is the one exception type: thrown by value where an operation cannot
// go on, caught at each Drm* entry point, which returns its code. The source
// and message texts are static and never copied.
#pragma once

#include <cstdint>

class VObject {
public:
    VObject() = default;
    VObject(const VObject &) = default;
    VObject &operator=(const VObject &) = default;
    virtual ~VObject() = default;
};

class VError : public VObject {
public:
    VError(int32_t code, const char *source, uint32_t line, const char *message)
        : code(code), line(line), source(source), message(message)
    {}

    int32_t code;
    uint32_t line;
    const char *source;
    const char *message;
};

// Source names carried by thrown errors.
inline constexpr const char *kDrmSrcSess = "DRM_Sess";
inline constexpr const char *kDrmSrcDb = "DRM_DB";
inline constexpr const char *kDrmSrcTabl = "DRM_Tabl";
inline constexpr const char *kDrmSrcArrays = "VArrays";
