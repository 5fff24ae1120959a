#include "driver/Sources/drm_values.h"

const DrmTypeRow kDrmTypeCatalog[kDrmTypeCatalogRows] = {
    {0, "UNKNOWN", 0, 0, 0, 0, 0, "UNKNOWN"},   {1, "BOOLEAN", 0, 0, 0, 0, 0, "BOOLEAN"},
    {2, "BOOLEAN", 0, 0, 0, 0, 0, "BOOLEAN"},   {3, "INTEGER", 0, 0, 0, 0, 0, "INTEGER"},
    {4, "LONGINT", 0, 0, 0, 0, 0, "LONGINT"},   {7, "REAL", 0, 0, 0, 10, 8, "REAL"},
    {10, "STRING", 0, 0, 256, 0, 0, "STRING"},  {11, "BLOB", 0, 8, 2147483647u, 0, 0, "BLOB"},
    {12, "TEXT", 0, 0, 65500, 0, 0, "TEXT"},    {101, "DATE", 0, 0, 0, 0, 0, "DATE"},
    {102, "TIME", 0, 0, 0, 0, 0, "TIME"},       {103, "REAL", 0, 0, 0, 10, 8, "REAL"},
    {104, "STRING", 0, 0, 255, 0, 0, "STRING"},
};

int32_t DrmCTypeOfServerType(uint8_t serverType)
{
    switch (serverType) {
    case QX_TYPE_ALPHA: return 12;
    case QX_TYPE_REAL: return 5;
    case QX_TYPE_TEXT: return 8;
    case QX_TYPE_PICTURE: return 7;
    case QX_TYPE_DATE: return 9;
    case QX_TYPE_BOOLEAN: return 1;
    case QX_TYPE_INTEGER: return 3;
    case QX_TYPE_LONGINT: return 4;
    case QX_TYPE_TIME: return 10;
    default: return 0;
    }
}

int32_t DrmServerTypeCount() { return kDrmTypeCatalogRows; }

uint32_t DrmTypeCatalogEntry(uint8_t serverType)
{
    return kDrmTypeCatalog[DrmCTypeOfServerType(serverType)].typeId;
}

int32_t DrmDefaultServerType(uint32_t typeId)
{
    switch (typeId) {
    case kDrmTypeBit: return QX_TYPE_BOOLEAN;
    case kDrmTypeUByte:
    case kDrmTypeShort: return QX_TYPE_INTEGER;
    case kDrmTypeLong: return QX_TYPE_LONGINT;
    case kDrmTypeCurrency:
    case kDrmTypeSingle:
    case kDrmTypeDouble:
    case kDrmTypeNumeric: return QX_TYPE_REAL;
    case kDrmTypeDateTime:
    case kDrmTypeDate: return QX_TYPE_DATE;
    case kDrmTypeText:
    case kDrmTypeVarText: return QX_TYPE_ALPHA;
    case kDrmTypeLongBinary: return QX_TYPE_PICTURE;
    case kDrmTypeLongText: return QX_TYPE_TEXT;
    case kDrmTypeTime: return QX_TYPE_TIME;
    default: return -1;
    }
}
