// Text of UTF-8 applications through the translation library libqxutf8.so,
// and UTF-16 (SQL_C_WCHAR) through the driver's own conversion, against
// qxserver through the unixODBC Driver Manager: every Windows-1252 character
// in SQL literals, parameters and results, values delivered in pieces of
// whole characters, SQL_MAX_LENGTH and bound buffers counted in the
// application's bytes, refusals of characters the code page lacks, catalog
// names, a connection without a data source, and the W calls.
#include "tests/e2e_fixture.h"

#include "platform/cp1252.h"

#include <sqlucode.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

// Every character of the code page from the blank on.
std::string AllCp1252()
{
    std::string s;
    for (int b = 0x20; b <= 0xFF; ++b)
        s += static_cast<char>(b);
    return s;
}

std::string Utf8Of(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

std::string Utf8(const std::string &cp1252)
{
    std::string s;
    for (unsigned char b : cp1252)
        s += Utf8Of(PlatCp1252ToUnicode(b));
    return s;
}

std::u16string Utf16(const std::string &cp1252)
{
    std::u16string s;
    for (unsigned char b : cp1252)
        s += static_cast<char16_t>(PlatCp1252ToUnicode(b));
    return s;
}

// UTF-8 text as the UTF-16 of the W calls (characters of the code page's
// range only).
std::u16string Utf16FromUtf8(const std::string &text)
{
    std::u16string s;
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : 3;
        uint32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : (b & 0x0F);
        for (int k = 1; k < n; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        s += static_cast<char16_t>(c);
        i += n;
    }
    return s;
}

SQLWCHAR *W(const std::u16string &s)
{
    return reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(s.c_str()));
}

// A text ends at a character boundary when the byte after it starts a
// character.
bool WholeCharacters(const std::string &whole, size_t cut)
{
    return cut >= whole.size() || (static_cast<unsigned char>(whole[cut]) & 0xC0) != 0x80;
}

class Utf8Test : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_UTF8_FIXTURE;
        E2eFixture::SetUp();
        WriteDsn(library);
        ConnectDemo();
    }

    // Runs sql (UTF-8) with no result: "" or the diagnostic.
    std::string Exec(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        std::string d = SQL_SUCCEEDED(rc) ? "" : Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        return d;
    }

    // INSERTs (id, value) into Notiz with value bound as cType.
    std::string InsertBound(int id, SQLSMALLINT cType, SQLSMALLINT sqlType, const void *value,
                            SQLLEN bytes)
    {
        SQLLEN length = bytes;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, 300, 0,
                         const_cast<void *>(value), bytes, &length);
        std::string sql = "INSERT INTO " + table + " (ID, Name, Notiz) VALUES (" +
                          std::to_string(id) + ", 'p', ?)";
        std::string d = Exec(sql);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return d;
    }

    // Notiz of row id, read whole as SQL_C_CHAR; *indicator its length.
    std::string ReadNotiz(int id, SQLLEN *indicator)
    {
        std::string sql = "SELECT Notiz FROM " + table + " WHERE ID = " + std::to_string(id);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS))) << Diag();
        EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
        std::vector<char> buf(2048);
        EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf.data(), 2048, indicator), SQL_SUCCESS)
            << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        return buf.data();
    }

    std::string library = "TranslationDLL=" QX_UTF8_LIB "\n";
    std::string table = "Städte"; // as the application writes it
};

TEST_F(Utf8Test, EveryCharacterGoesInAndComesBackByEveryRoad)
{
    const std::string all = AllCp1252(), utf8 = Utf8(all);
    std::string literal;
    for (char c : utf8)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    ASSERT_EQ(Exec("INSERT INTO Städte (ID, Name, Notiz) VALUES (10, 'l', '" + literal + "')"), "");
    ASSERT_EQ(InsertBound(11, SQL_C_CHAR, SQL_LONGVARCHAR, utf8.c_str(), SQL_NTS), "");
    std::u16string wide = Utf16(all);
    ASSERT_EQ(InsertBound(12, SQL_C_WCHAR, SQL_WLONGVARCHAR, wide.c_str(),
                          static_cast<SQLLEN>(2 * wide.size())),
              "");
    for (int id : {10, 11, 12}) {
        SQLLEN indicator = 0;
        EXPECT_EQ(ReadNotiz(id, &indicator), utf8) << id;
        EXPECT_EQ(indicator, static_cast<SQLLEN>(utf8.size())) << id;
    }
    // The engine holds Windows-1252: one character a byte.
    EXPECT_EQ(Query("SELECT LENGTH(Notiz) FROM Städte WHERE ID >= 10"),
              (std::vector<std::string>{"224", "224", "224"}));
    // A bound UTF-16 column receives every character exactly.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("SELECT Notiz FROM Städte WHERE ID = 11"), SQL_NTS)));
    std::vector<char16_t> units(512);
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_WCHAR, units.data(), 1024, &indicator), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(std::u16string(units.data()), wide);
    EXPECT_EQ(indicator, static_cast<SQLLEN>(2 * wide.size()));
}

TEST_F(Utf8Test, LongTextLeavesInWholeCharactersCountedInBytes)
{
    const std::string utf8 = Utf8(AllCp1252());
    ASSERT_EQ(InsertBound(20, SQL_C_CHAR, SQL_LONGVARCHAR, utf8.c_str(), SQL_NTS), "");
    // SQLGetData in pieces: each ends at a character boundary and tells the
    // bytes left from its start; together they are the value.
    for (SQLLEN size : {4, 5, 7, 64}) {
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLExecDirect(stmt, Text("SELECT Notiz FROM Städte WHERE ID = 20"), SQL_NTS)));
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
        std::string got;
        SQLRETURN rc;
        char buf[64];
        SQLLEN indicator = 0;
        while ((rc = SQLGetData(stmt, 1, SQL_C_CHAR, buf, size, &indicator)) ==
               SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(indicator, static_cast<SQLLEN>(utf8.size() - got.size())) << size;
            got += buf;
            ASSERT_TRUE(WholeCharacters(utf8, got.size())) << size << " at " << got.size();
            ASSERT_LE(got.size(), utf8.size());
        }
        ASSERT_EQ(rc, SQL_SUCCESS) << Diag();
        got += buf;
        EXPECT_EQ(got, utf8) << size;
        EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, size, &indicator), SQL_NO_DATA_FOUND);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // A buffer that holds no whole character gives nothing, and the value
    // stays where it was.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("SELECT Name FROM Städte WHERE ID = 1"), SQL_NTS)));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char two[2], buf6[8];
    SQLLEN left = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, two, 2, &left), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(two), "Z");
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, two, 2, &left), SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(std::string(two), "");
        EXPECT_EQ(left, 6); // "ürich"
    }
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf6, sizeof buf6, &left), SQL_SUCCESS);
    EXPECT_EQ(std::string(buf6), "ürich");
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A bound buffer too short: 01004 with the whole length, whole characters.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("SELECT Notiz FROM Städte WHERE ID = 20"), SQL_NTS)));
    char bound[200];
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, bound, sizeof bound, &indicator), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag().substr(0, 5), "01004");
    EXPECT_EQ(indicator, static_cast<SQLLEN>(utf8.size()));
    std::string head = bound;
    EXPECT_GE(head.size(), sizeof bound - 3);
    EXPECT_EQ(head, utf8.substr(0, head.size()));
    EXPECT_TRUE(WholeCharacters(utf8, head.size()));
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    // SQL_MAX_LENGTH counts the bytes the application receives and ends the
    // value at a character boundary without a warning.
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 151), SQL_SUCCESS);
    SQLLEN limited = 0;
    std::string text = ReadNotiz(20, &limited);
    EXPECT_LE(text.size(), 151u);
    EXPECT_GE(text.size(), 149u);
    EXPECT_EQ(limited, static_cast<SQLLEN>(text.size()));
    EXPECT_EQ(text, utf8.substr(0, text.size()));
    EXPECT_TRUE(WholeCharacters(utf8, text.size()));
}

// A text column's length and display size count the application's bytes
// (its precision stays in characters), so a buffer of that length holds
// the longest value: 40 characters of two bytes each here.
TEST_F(Utf8Test, TextColumnsTellTheirLengthInTheApplicationsBytes)
{
    std::string accented;
    for (int i = 0; i < 40; ++i)
        accented += "\xC3\xA9"; // é
    ASSERT_EQ(Exec("UPDATE Städte SET Name = '" + accented + "' WHERE ID = 4"), "");
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("SELECT Name FROM Städte WHERE ID = 4"), SQL_NTS)));
    SQLLEN length = 0, display = 0;
    SQLULEN precision = 0;
    ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &length),
              SQL_SUCCESS);
    ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_DISPLAY_SIZE, nullptr, 0, nullptr, &display),
              SQL_SUCCESS);
    ASSERT_EQ(SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, nullptr, &precision, nullptr, nullptr),
              SQL_SUCCESS);
    SQLLEN octets = 0;
    ASSERT_EQ(SQLColAttributes(stmt, 1, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets),
              SQL_SUCCESS);
    EXPECT_EQ(precision, 40u);
    EXPECT_EQ(length, static_cast<SQLLEN>(3 * 40));
    EXPECT_EQ(octets, length);
    EXPECT_EQ(display, static_cast<SQLLEN>(3 * 40));
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, buffer.data(), length + 1, &indicator), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(std::string(buffer.data()), accented);
    EXPECT_EQ(indicator, 80);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
}

// A character the code page lacks, or bytes that are not UTF-8, fail with
// 22018 (22005 to this ODBC 2 application, as the Driver Manager maps it)
// and a text naming them; nothing is stored or replaced.
TEST_F(Utf8Test, TextTheCodePageCannotHoldIsRefused)
{
    const std::string barred = "\xC5\x81\xC3\xB3" "d\xC5\xBA"; // Łódź: Ł and ź are not in it
    const std::u16string wideBarred = u"\u0141\u00F3d\u017A";
    struct Case {
        const char *name;
        std::string outcome;
        const char *mentions;
    } cases[] = {
        {"literal", Exec("INSERT INTO Städte (ID, Name) VALUES (30, '" + barred + "')"), "U+0141"},
        {"char parameter",
         InsertBound(31, SQL_C_CHAR, SQL_LONGVARCHAR, barred.c_str(), SQL_NTS), "U+0141"},
        {"wide parameter",
         InsertBound(32, SQL_C_WCHAR, SQL_WLONGVARCHAR, wideBarred.c_str(),
                     static_cast<SQLLEN>(2 * wideBarred.size())),
         "U+0141"},
        {"not UTF-8", Exec("SELECT ID FROM Städte WHERE Name = 'Z\xFCrich'"), "UTF-8"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.outcome.substr(0, 5), "22005") << c.name << ": " << c.outcome;
        EXPECT_NE(c.outcome.find(c.mentions), std::string::npos) << c.name << ": " << c.outcome;
    }
    EXPECT_EQ(Query("SELECT COUNT(*) FROM Städte WHERE ID >= 30"),
              (std::vector<std::string>{"0"}));
}

// Comparison, LIKE and case folding stay those of Windows-1252: the text
// the engine sees is not UTF-8.
TEST_F(Utf8Test, EngineComparesAndFoldsWindows1252)
{
    // The data source compares without regard to case, ü against Ü too.
    EXPECT_EQ(Query("SELECT ID, LENGTH(Name) FROM Städte WHERE Name = 'Zürich' ORDER BY ID"),
              (std::vector<std::string>{"1|6", "2|6"}));
    EXPECT_EQ(Query("SELECT ID FROM Städte WHERE UCASE(Name) = 'ZÜRICH' ORDER BY ID"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Query("SELECT LCASE(Name) FROM Städte WHERE Name LIKE '_rhu%'"),
              (std::vector<std::string>{"århus"}));
}

// Names in results, in descriptions and in catalog arguments are UTF-8.
TEST_F(Utf8Test, NamesCrossInUtf8)
{
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("SELECT Größe FROM Städte WHERE ID = 1"), SQL_NTS)))
        << Diag();
    char name[32] = {};
    SQLSMALLINT nameLength = 0;
    ASSERT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), sizeof name, &nameLength,
                             nullptr, nullptr, nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(name, "Größe");
    EXPECT_EQ(nameLength, 7);
    // A name buffer too short keeps whole characters.
    ASSERT_EQ(SQLDescribeCol(stmt, 1, reinterpret_cast<SQLCHAR *>(name), 4, &nameLength, nullptr,
                             nullptr, nullptr, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(name, "Gr");
    EXPECT_EQ(ReadRows(), (std::vector<std::string>{"421878"}));
    SQLFreeStmt(stmt, SQL_CLOSE);

    ASSERT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, Text("Städte"), SQL_NTS, Text("Grö%"),
                         SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char table[32] = {}, column[32] = {};
    SQLLEN tableLength = 0;
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, table, sizeof table, &tableLength), SQL_SUCCESS);
    EXPECT_STREQ(table, "Städte");
    EXPECT_EQ(tableLength, 7);
    EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_CHAR, column, sizeof column, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(column, "Größe");
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    SQLFreeStmt(stmt, SQL_CLOSE);
    // Messages naming a table come in UTF-8 as well.
    std::vector<std::string> failed = Query("SELECT ID FROM Städtchen");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_TRUE(failed[0].find("äDTCHEN") != std::string::npos ||
                failed[0].find("ÄDTCHEN") != std::string::npos)
        << failed[0];
}

TEST_F(Utf8Test, ConnectionStringNamesTheLibraryWithoutADataSource)
{
    Disconnect();
    h = std::make_unique<OdbcHandles>(SQL_OV_ODBC2);
    std::string in = "DRIVER={QX};DBQ=" + Dbq() +
                     ";UID=demo;PWD=demo;TranslationDLL={" QX_UTF8_LIB "}";
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    ASSERT_EQ(SQLDriverConnect(h->dbc, nullptr, Text(in.c_str()), SQL_NTS, out, sizeof out,
                               &outLength, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS)
        << h->Diag();
    ASSERT_EQ(SQLAllocStmt(h->dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(Query("SELECT Name FROM Städte WHERE ID = 3"),
              (std::vector<std::string>{"Genève"}));
}

// The W calls of an application in a UTF-8 locale: the Driver Manager
// hands the driver the SQL text in UTF-8, and converts what SQLGetData
// returns back to UTF-16 (counting its length in the driver's bytes); a
// bound SQL_C_WCHAR column is filled by the driver itself.
TEST_F(Utf8Test, WideCallsOfTheDriverManager)
{
    const char *before = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = before ? before : "C";
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    Disconnect();
    ConnectDemo(); // the Driver Manager takes the locale's character set at connect
    const std::string all = AllCp1252();
    std::u16string insert =
        Utf16FromUtf8("INSERT INTO Städte (ID, Name, Notiz) VALUES (40, 'w', '") +
        Utf16(all.substr(0, 7)) + Utf16(all.substr(8)) + u"')"; // all but the quote
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(stmt, W(insert), SQL_NTS))) << Diag();
    std::u16string select = Utf16FromUtf8("SELECT Notiz, Name FROM Städte WHERE ID = 40");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(stmt, W(select), SQL_NTS))) << Diag();
    std::vector<char16_t> units(600);
    SQLLEN bound = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_WCHAR, units.data(), 1200, &bound), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    std::u16string expected = Utf16(all.substr(0, 7) + all.substr(8));
    EXPECT_EQ(std::u16string(units.data()), expected);
    EXPECT_EQ(bound, static_cast<SQLLEN>(2 * expected.size()));
    char16_t name[16] = {};
    SQLLEN nameLength = 0;
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_WCHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"w");
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(
        stmt, W(Utf16FromUtf8("SELECT Name FROM Städte WHERE Name = 'Genève'")), SQL_NTS)));
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Genève");
    // The Driver Manager's length counts the driver's UTF-8 bytes twice.
    EXPECT_EQ(nameLength, 2 * 7);
    SQLFreeStmt(stmt, SQL_CLOSE);
    std::setlocale(LC_CTYPE, saved.c_str());
}

// Without a library the driver's text is Windows-1252, and UTF-16 is still
// converted by the driver itself.
class Cp1252Test : public Utf8Test {
protected:
    void SetUp() override
    {
        library.clear();
        table = "St\xE4" "dte";
        Utf8Test::SetUp();
    }
};

TEST_F(Cp1252Test, WideTextWorksWithoutALibrary)
{
    const std::string all = AllCp1252();
    std::u16string wide = Utf16(all);
    ASSERT_EQ(InsertBound(50, SQL_C_WCHAR, SQL_WVARCHAR, wide.c_str(), SQL_NTS), "");
    SQLLEN indicator = 0;
    EXPECT_EQ(ReadNotiz(50, &indicator), all);
    EXPECT_EQ(indicator, 224);
    EXPECT_EQ(Query("SELECT ID FROM " + table + " WHERE Name = 'Z\xFCrich' AND ID = 1"),
              (std::vector<std::string>{"1"}));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
        stmt, Text(("SELECT Name FROM " + table + " WHERE ID = 1").c_str()), SQL_NTS)));
    SQLLEN length = 0;
    EXPECT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &length),
              SQL_SUCCESS);
    EXPECT_EQ(length, 40);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

} // namespace
