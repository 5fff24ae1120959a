// The connection as the engine's catalog sees it, for one statement (the
// stored views are read through the statement's view catalogue).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/catalog/rccat.h"

struct rcConn;
struct rcStmt;

class rcCatConnOf final : public rcCatConn {
public:
    rcCatConnOf(rcConn *conn, rcStmt *stmt) : conn_(conn), stmt_(stmt) {}
    TamSession *Session() override;
    const char *Qualifier() override;
    uint32_t Capabilities() override;
    uint16_t MaxColumns() override;
    int DescribeDrmType(uint32_t drmType, uint32_t length, uint16_t precision, int16_t scale,
                        rcCatTypeDesc *out) override;
    int DescribeSqlType(int16_t sqlType, uint32_t length, uint32_t precision, int16_t scale,
                        rcCatTypeDesc *out) override;
    int NextViewName(bool restart, std::string *name) override;
    int ViewColumns(const std::string &name, std::vector<rcCatViewColumn> *out) override;

private:
    rcConn *conn_;
    rcStmt *stmt_;
};
