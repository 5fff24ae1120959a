#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/tests/fake_server.h"

namespace {

class Catalog : public ::testing::Test {
protected:
    int32_t Load() { return DrmLoadCatalog(1, &list); }
    FakeServer server;
    std::unique_ptr<VDRMTableEntryArray> list;
};

TEST_F(Catalog, LoadsTablesAndFieldRows)
{
    server.tables = SampleTables();
    ASSERT_EQ(Load(), 0);
    ASSERT_EQ(list->oCount(), 3);
    const VDRMTableEntry &t = list->oGet(0);
    EXPECT_EQ(t.tableNumber, 1);
    EXPECT_STREQ(t.name, "Customers");
    ASSERT_EQ(t.fields->oCount(), 4);
    EXPECT_EQ(t.fields->oGet(3).fieldNumber, 4);
    EXPECT_EQ(DrmFieldType(t.fields->oGet(0).row), 9);
    EXPECT_EQ(DrmFieldLength(t.fields->oGet(1).row), 40);
    uint16_t count = 0;
    std::memcpy(&count, t.head, 2);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(list->oGet(2).fields->oCount(), 0); // a table without fields
}

TEST_F(Catalog, EmptyDatabaseAsksNoNameList)
{
    ASSERT_EQ(Load(), 0);
    EXPECT_EQ(list->oCount(), 0);
    EXPECT_EQ(server.Count("GetFileList"), 0u);
}

TEST_F(Catalog, FailuresKeepWhatWasRead)
{
    server.tables = SampleTables();
    server.status["CountFiles"] = -10002;
    EXPECT_EQ(Load(), -10002);
    EXPECT_EQ(list, nullptr);

    server.status.clear();
    server.status["GetFileList"] = -9800;
    EXPECT_EQ(Load(), -9800);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->oCount(), 3);
    EXPECT_EQ(list->oGet(0).tableNumber, 0); // zero-filled entries

    server.status.clear();
    server.status["GetFileDefinition"] = -9963;
    EXPECT_EQ(Load(), -9963);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->oGet(0).tableNumber, 1); // only its number
    EXPECT_EQ(list->oGet(0).fields, nullptr);
    EXPECT_EQ(list->oGet(1).tableNumber, 0);
}

TEST_F(Catalog, MalformedRepliesAreRefusedNotOverread)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> fileList;
        std::vector<uint8_t> definition; // of table 1
    };
    std::vector<uint8_t> shortDef = FakeServer::Definition(SampleTables()[0]);
    shortDef.resize(shortDef.size() - 1);
    std::vector<uint8_t> negative = FakeServer::Definition(SampleTables()[2]);
    negative[0] = 0xFF;
    negative[1] = 0xFF;
    std::vector<uint8_t> listOfTwo(2 + 32 * 2, 0);
    listOfTwo[0] = 2;
    const Case cases[] = {
        {"name list shorter than the count", listOfTwo, {}},
        {"name list without a count", {0x03}, {}},
        {"definition shorter than its rows", {}, shortDef},
        {"definition without a header", {}, std::vector<uint8_t>(29, 0)},
        {"negative field count", {}, negative},
    };
    for (const Case &c : cases) {
        server.tables = SampleTables();
        server.fileListOverride = c.fileList;
        server.definitionOverride.clear();
        if (!c.definition.empty())
            server.definitionOverride[1] = c.definition;
        EXPECT_EQ(Load(), kDrmErrBadReply) << c.what;
    }
}

TEST_F(Catalog, OverlongNameLengthBytesAreCut)
{
    server.tables = {{"T", {{"F", 0, 10, 0}}}};
    std::vector<uint8_t> names(2 + 32, 'N');
    names[0] = 1;
    names[1] = 0;
    names[2] = 200; // length byte far beyond the slot
    server.fileListOverride = names;
    std::vector<uint8_t> def = FakeServer::Definition(server.tables[0]);
    def[30] = 250;
    server.definitionOverride[1] = def;
    ASSERT_EQ(Load(), 0);
    EXPECT_EQ(std::strlen(list->oGet(0).name), 31u);
    EXPECT_EQ(DrmFieldNameLength(list->oGet(0).fields->oGet(0).row), 31);
}

TEST_F(Catalog, NameLookups)
{
    server.tables = SampleTables();
    server.tables.push_back({"ANN\xC9"
                             "E",
                             {{"ANN\xC9"
                               "E",
                               0, 4, 0},
                              {"Ann\xE9"
                               "e",
                               0, 4, 0},
                              {"NOTE", 0, 4, 0}}});
    ASSERT_EQ(Load(), 0);
    EXPECT_EQ(DrmFindTable(list.get(), "customers"), 0); // the first of two
    // A name spelt exactly as one of them names that one.
    EXPECT_EQ(DrmFindTable(list.get(), "Customers"), 0);
    EXPECT_EQ(DrmFindTable(list.get(), "CUSTOMERS"), 1);
    EXPECT_EQ(DrmFindTable(list.get(), "Ann\xE9"
                                       "e"),
              3); // accented letters fold for tables
    EXPECT_EQ(DrmFindTable(list.get(), "Nope"), -1);
    const VDRMFieldDefArray *f = list->oGet(3).fields.get();
    EXPECT_EQ(DrmFindField(f, "Ann\xE9"
                              "e"),
              1); // not the upper-case one
    EXPECT_EQ(DrmFindField(f, "note"), 2);
    const VDRMFieldDefArray *c = list->oGet(0).fields.get();
    EXPECT_EQ(DrmFindField(c, "name"), 1);
    EXPECT_EQ(DrmFindField(c, "NAME2"), 2);
    EXPECT_EQ(DrmFindField(c, "Nam"), -1);
}

TEST_F(Catalog, IndexedFieldWalk)
{
    server.tables = SampleTables();
    server.tables[0].fields.push_back({"Pic", 3, 0, 0x8000}); // pictures are never indexed
    ASSERT_EQ(Load(), 0);
    const VDRMTableEntry &t = list->oGet(0);
    EXPECT_EQ(DrmCountIndexedFields(&t), 2);
    int32_t i = -1;
    EXPECT_EQ(DrmNextVisibleField(&i, &t), 0);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(DrmNextVisibleField(&i, &t), 0);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(DrmNextVisibleField(&i, &t), -2);
    i = -1;
    EXPECT_EQ(DrmNextVisibleField(&i, &list->oGet(1)), -2); // no indexed field
    EXPECT_EQ(DrmNextVisibleField(&i, nullptr), -1);
}

TEST_F(Catalog, NamesConvertFromServerText)
{
    server.tables = {{"Caf\x8E", {{"Pr\x8E", 0, 8, 0}}}};
    ASSERT_EQ(Load(), 0);
    ASSERT_EQ(DrmConvertCatalogNames(list.get(), 1252), 0);
    EXPECT_STREQ(list->oGet(0).name, "Caf\xE9");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(list->oGet(0).fields->oGet(0).row + 1), 3),
              "Pr\xE9");
}

} // namespace
