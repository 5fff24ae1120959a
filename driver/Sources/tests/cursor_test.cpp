#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/tests/drm_fixture.h"

namespace {

class Cursors : public DrmSessionTest {
protected:
    void SetUp() override
    {
        DrmSessionTest::SetUp();
        s = Begin();
        db = Open(s);
    }

    // Reads every row of a cursor as text cells ("#n" for numbers).
    std::vector<std::vector<std::string>> Rows(uint32_t c,
                                               const std::vector<std::pair<uint32_t, int>> &columns)
    {
        std::vector<std::vector<std::string>> rows;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            std::vector<std::string> row;
            for (auto [column, width] : columns) {
                char buf[64] = {};
                uint32_t out = 0;
                EXPECT_EQ(DrmRetrieveColumn(s, c, column, buf, sizeof buf, &out, nullptr), 0);
                if (width == 0) {
                    row.emplace_back(buf, out);
                } else {
                    uint32_t v = 0;
                    std::memcpy(&v, buf, static_cast<size_t>(width));
                    EXPECT_EQ(out, static_cast<uint32_t>(width));
                    row.emplace_back(1, '#');
                    row.back() += std::to_string(v);
                }
            }
            rows.push_back(row);
        }
        return rows;
    }

    uint32_t s = 0, db = 0;
};

TEST_F(Cursors, TypeCatalog)
{
    uint32_t info[11] = {};
    EXPECT_EQ(DrmGetTypeCatalogInfo(s, db, info, 43), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmGetTypeCatalogInfo(s, db, info, 44), 0);
    uint32_t c = info[1];
    EXPECT_EQ(c, 2u); // the failed attempt took id 1
    EXPECT_EQ(info[2], 13u);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(info[3 + i], i + 1);

    auto rows = Rows(c, {{1, 4}, {2, 0}, {5, 4}, {6, 2}, {7, 4}, {8, 0}});
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[5], (std::vector<std::string>{"#7", "REAL", "#0", "#10", "#8", "REAL"}));
    EXPECT_EQ(rows[7],
              (std::vector<std::string>{"#11", "BLOB", "#2147483647", "#0", "#0", "BLOB"}));
    EXPECT_EQ(rows[12], (std::vector<std::string>{"#104", "STRING", "#255", "#0", "#0", "STRING"}));
    EXPECT_EQ(DrmMove(s, c, kDrmMoveNext), kDrmErrNoCurrentRecord); // still past the end

    ASSERT_EQ(DrmMove(s, c, kDrmMoveFirst), 0);
    for (int i = 0; i < 7; ++i)
        DrmMove(s, c, kDrmMoveNext);
    char buf[4];
    uint32_t out = 0;
    ASSERT_EQ(DrmRetrieveColumn(s, c, 2, buf, 4, &out, nullptr), 0);
    EXPECT_EQ(std::string(buf, out), "BLOB");
    EXPECT_EQ(DrmRetrieveColumn(s, c, 2, buf, 3, &out, nullptr), kDrmErrBufferTooSmall);
    EXPECT_EQ(DrmRetrieveColumn(s, c, 9, buf, 4, &out, nullptr), -1);
    EXPECT_EQ(DrmMove(s, c, 2), kDrmErrBadDirection);
    ASSERT_EQ(DrmRetrieveColumn(s, c, 1, buf, 4, &out, nullptr), 0); // still on row 7
    uint32_t id = 0;
    std::memcpy(&id, buf, 4);
    EXPECT_EQ(id, 11u);

    uint32_t tinfo[3] = {};
    ASSERT_EQ(DrmGetTableInfo(s, c, tinfo, 12), 0);
    EXPECT_EQ(tinfo[1], 13u);
    EXPECT_EQ(tinfo[2], 0u);
    EXPECT_EQ(DrmGetTableInfo(s, c, tinfo, 11), kDrmErrBufferTooSmall);
    EXPECT_EQ(DrmGetBookmark(s, c, buf, 4, &out), kDrmErrBadCursor);
    EXPECT_EQ(DrmInitUpdate(s, c, 0), kDrmErrBadCursor);
    EXPECT_EQ(DrmSetTableIndex(s, c, "x"), 0);
    EXPECT_EQ(DrmMakeKey(s, c, buf, 4, 1), 0);
    EXPECT_EQ(DrmSeek(s, c, 1), 0);
}

TEST_F(Cursors, TableListTakesTheRecordTheEngineWrites)
{
    uint32_t info[7] = {28};
    EXPECT_EQ(DrmGetDatabaseTableInfo(s, db, info, 27), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmGetDatabaseTableInfo(s, db, info, 28), 0);
    EXPECT_EQ(info[0], 28u); // the caller's word stays
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(info[2 + i], i + 1);
    auto rows = Rows(info[1], {{1, 0}, {2, 4}, {3, 4}, {4, 4}, {5, 4}});
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"Customers", "#1", "#0", "#0", "#0"},
                                                           {"CUSTOMERS", "#1", "#0", "#0", "#0"},
                                                           {"Empty", "#1", "#0", "#0", "#0"}}));
}

TEST_F(Cursors, TableListOfAnEmptyDatabase)
{
    server.tables.clear();
    uint32_t empty = Open(s);
    uint32_t info[7] = {};
    ASSERT_EQ(DrmGetDatabaseTableInfo(s, empty, info, 28), 0);
    EXPECT_EQ(DrmMove(s, info[1], kDrmMoveFirst), kDrmErrNoCurrentRecord);
}

TEST_F(Cursors, ColumnList)
{
    server.tables[0].fields.push_back({"Birthday12", 4, 6, 0});
    server.tables[0].fields.push_back({"Flag", 6, 2, 0});
    uint32_t fresh = Open(s);
    uint32_t t = OpenTable(s, fresh, "Customers");
    uint32_t info[13] = {};
    EXPECT_EQ(DrmGetTableColumnInfo(s, t, info, 51), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmGetTableColumnInfo(s, t, info, 52), 0);
    uint32_t c = info[1];
    EXPECT_EQ(info[2], 6u);
    EXPECT_EQ(info[12], 10u);
    auto rows = Rows(c, {{1, 0}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 2}, {7, 2}, {8, 4}});
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"ID", "#1", "#4", "#4", "#36", "#0", "#0", "#0"}));
    EXPECT_EQ(rows[1],
              (std::vector<std::string>{"Name", "#2", "#104", "#40", "#32", "#0", "#0", "#0"}));
    EXPECT_EQ(rows[3],
              (std::vector<std::string>{"Notes", "#4", "#12", "#65500", "#32", "#0", "#0", "#0"}));
    EXPECT_EQ(rows[4], (std::vector<std::string>{"Birthday12", "#5", "#101", "#6", "#32", "#0",
                                                 "#0", "#0"}));
    EXPECT_EQ(rows[5],
              (std::vector<std::string>{"Flag", "#6", "#1", "#1", "#36", "#0", "#0", "#0"}));

    // A 10-character name needs 11 bytes.
    DrmMove(s, c, kDrmMoveFirst);
    for (int i = 0; i < 4; ++i)
        DrmMove(s, c, kDrmMoveNext);
    char buf[11];
    uint32_t out = 0;
    EXPECT_EQ(DrmRetrieveColumn(s, c, 1, buf, 10, &out, nullptr), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmRetrieveColumn(s, c, 1, buf, 11, &out, nullptr), 0);
    EXPECT_EQ(out, 10u);
    EXPECT_EQ(buf[10], 0);

    // The table cursor closes first: the list answers, it does not dangle.
    ASSERT_EQ(DrmCloseTable(s, t), 0);
    EXPECT_EQ(DrmRetrieveColumn(s, c, 1, buf, 11, &out, nullptr), kDrmErrBadCursor);

    // Only a table cursor can be the source.
    uint32_t tinfo[11] = {};
    ASSERT_EQ(DrmGetTypeCatalogInfo(s, fresh, tinfo, 44), 0);
    EXPECT_EQ(DrmGetTableColumnInfo(s, tinfo[1], info, 52), -1);
}

TEST_F(Cursors, IndexList)
{
    uint32_t t = OpenTable(s, db, "Customers");
    uint32_t info[9] = {};
    EXPECT_EQ(DrmGetTableIndexInfo(s, t, nullptr, info, 35), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmGetTableIndexInfo(s, t, nullptr, info, 36), 0);
    uint32_t c = info[1];
    EXPECT_EQ(info[2], 2u);
    auto rows = Rows(c, {{1, 0}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 0}});
    EXPECT_EQ(rows,
              (std::vector<std::vector<std::string>>{{"ID", "#3", "#0", "#1", "#0", "ID"},
                                                     {"Name", "#0", "#0", "#2", "#0", "Name"}}));
    // The primary flag is reported once per walk, again after a new first move.
    char buf[8];
    uint32_t out = 0, flags = 0;
    ASSERT_EQ(DrmMove(s, c, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmRetrieveColumn(s, c, 2, buf, 4, &out, nullptr), 0);
    std::memcpy(&flags, buf, 4);
    EXPECT_EQ(flags, 3u);
    ASSERT_EQ(DrmRetrieveColumn(s, c, 2, buf, 4, &out, nullptr), 0);
    std::memcpy(&flags, buf, 4);
    EXPECT_EQ(flags, 1u);

    uint32_t t2 = OpenTable(s, db, "Empty"); // no indexed field
    ASSERT_EQ(DrmGetTableIndexInfo(s, t2, nullptr, info, 36), 0);
    EXPECT_EQ(info[2], 0u);
    EXPECT_EQ(DrmMove(s, info[1], kDrmMoveFirst), kDrmErrNoCurrentRecord);

    uint32_t tinfo[11] = {};
    ASSERT_EQ(DrmGetTypeCatalogInfo(s, db, tinfo, 44), 0);
    uint32_t before = tinfo[1];
    EXPECT_EQ(DrmGetTableIndexInfo(s, before, nullptr, info, 36), -1);
    ASSERT_EQ(DrmGetTypeCatalogInfo(s, db, tinfo, 44), 0);
    EXPECT_EQ(tinfo[1], before + 2); // the refused list used an id
}

} // namespace
