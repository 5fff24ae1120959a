// The connection as the front end's source of tables and types: tables are
// opened through the table-access layer and described from the data
// module's column catalog; types come from the connection's type catalog.
#pragma once

#include "driver/frontend/fe_prepared.h"

struct rcConn;

class rcConnFeSource : public rcFeSource {
public:
    explicit rcConnFeSource(rcConn *conn) : conn_(conn) {}

    int OpenTable(rcErrorQueue *errors, rcTblEntry *entry) override;
    void CloseTable(rcTblEntry *entry) override;
    bool HasType(int16_t sqlType) override;
    uint32_t FixedLength(int16_t sqlType) override;
    int16_t SqlTypeOf(int16_t engineType) override;
    void DescribeResult(const rcSemTypeInfo &t, rcResultColumn *column) override;
    void DescribeParam(const rcSemTypeInfo &t, rcParamDesc *param) override;
    bool CaseSensitiveNames() override;
    uint16_t MaxColumns() override;
    uint32_t CommandMask() override;
    bool ReadOnly() override;
    int UseQualifier(rcErrorQueue *errors, const char *name) override;

private:
    int ReadColumns(rcErrorQueue *errors, rcTblEntry *entry);
    rcConn *conn_;
};
