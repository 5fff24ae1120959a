// Control statements -> parsed settings or the exact error code.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/sort/srtstate.h"

namespace {

int fakeValueCompare(void *, int, int, const unsigned char *, int, const unsigned char *, size_t)
{
    return 0;
}

uint32_t parse(const std::string &text, SrtSettings &s, bool recordCall = false,
               bool engineTypes = false)
{
    SrtCallbacks cb;
    if (engineTypes)
        cb.valueCompare = fakeValueCompare;
    return srtParseControl(text.data(), text.size(), recordCall, cb, s);
}

uint32_t parse(const std::string &text, bool recordCall = false)
{
    SrtSettings s;
    return parse(text, s, recordCall);
}

std::string keys(int n)
{
    std::string t = "S(";
    for (int i = 0; i < n; ++i) {
        if (i)
            t += ',';
        t += std::to_string(i + 1);
        t += ",1,C,A";
    }
    return t + ")";
}

std::string conditions(int comparisons)
{
    std::string t = "INCL(";
    for (int i = 0; i < comparisons; ++i) {
        if (i)
            t += " OR ";
        t += "1,1,CHA,EQ,\"A\"";
    }
    return t + ")";
}

struct ErrorCase {
    const char *statement;
    uint32_t error;
};

// Every statement and combination error the language has, and the
// abbreviation and case rules.
const ErrorCase kErrorCases[] = {
    // keywords, abbreviations and case
    {"S(5,4,I,A) CORE(256) F(FIX,8) W(C:\\TEMP\\)", 0},
    {"SO(1,2,C,A) so(1,2,c,a)", 0},
    {"C(256)", 201},
    {"COR(256)", 201},
    {"A", 201},
    {"XYZZY(1)", 201},
    {"\"S\"(1,2,C,A)", 201},
    {"SORT(1,2,C,A) PAUS EQUA", 0},
    {"SORT(1,2,C,A) \x1a anything after the end mark", 0},
    // sort keys
    {"S()", 10010},
    {"SORT", 10010},
    {"S(1,2,C,A", 10010},
    {"S(0,2,C,A)", 202},
    {"S(X,2,C,A)", 202},
    {"S(1,0,C,A)", 203},
    {"S(1,Q,C,A)", 203},
    {"S(1)", 203},
    {"S(1,2,Q,A)", 204},
    {"S(1,2,X,A)", 204},
    {"S(1,2)", 204},
    {"S(1,2,C,X)", 209},
    {"S(1,2,C,ASC)", 209},
    {"S(1,2,C)", 209},
    {"S(1,Z,CHA,A)", 0},
    {"S(#3,CHA,D)", 0},
    {"S(# 3,CHA,D)", 0},
    {"S(#0,CHA,D)", 202},
    {"M(1,2,BIN,A)", 0},
    // types with no order of their own, and engine types without the engine
    {"S(1,2,NUM,A)", 204},
    {"S(1,2,PD,A)", 204},
    {"S(1,2,ZD,A)", 204},
    {"S(1,2,SP,A)", 204},
    {"S(1,8,XD,A)", 204},
    {"S(1,8,XDT,A)", 204},
    // fixed-width numeric keys need a fixed length
    {"S(1,3,E,A)", 203},
    {"S(1,8,E,A) F(FIX,8)", 0},
    {"S(1,Z,INT,A)", 203},
    {"S(#1,INT,A)", 204},
    // keys outside a fixed record
    {"S(9,1,C,A) F(FIX,8)", 202},
    {"S(5,5,C,A) F(FIX,8)", 203},
    // ALT
    {"S(1,2,ALT,A)", 242},
    {"ALTS(/nonexistent/alts.bin)", 10055},
    {"ALTS(/tmp)", 10055},
    // FILE
    {"F(XYZ)", 10033},
    {"F", 10033},
    {"F(FIX)", 10011},
    {"F(FIX,0)", 10011},
    {"F(PRE)", 10011},
    {"F(FE,X) RECO(8)", 10012},
    {"F(FE) RECO(8)", 0},
    {"F(FE,0) RECO(8)", 0},
    {"F(FE)", 15762},
    {"F(BT)", 10015},
    {"F(GP,(13,10))", 10019},
    {"F(GP,(13,10),())", 10019},
    {"F(GP,(13,10),(300))", 10019},
    {"F(GP,(13,10),(26))", 0},
    {"F(TXT) F(VS)", 11314},
    {"F(FIX,8) F(VS)", 11114},
    {"F(FIX,8) F(DB3)", 11120},
    // other statements
    {"ADDR(RRN)", 0},
    {"ADDR(XYZ)", 10001},
    {"ADDR", 10001},
    {"BYPA(10,R)", 0},
    {"BYPA(10,D)", 0},
    {"BYPA(10,X)", 10002},
    {"BYPA(10)", 10002},
    {"BYPA", 10002},
    {"BYPA F(FIX,8)", 0},
    {"CORE(X)", 10051},
    {"CORE", 10051},
    {"DELI(59)", 0},
    {"DELI(256)", 10052},
    {"KEYO(RRN) S(1,2,C,A)", 0},
    {"KEYO(ABC)", 10004},
    {"LIMI(0)", 10005},
    {"LAST(X)", 10005},
    {"LIMI(5)", 0},
    {"RECO(0)", 10009},
    {"RECO(X)", 10009},
    {"W(/tmp)", 10054},
    {"W(/tmp/a b/)", 10054},
    {"W(\"/tmp/a b/\")", 0},
    {"W(/tmp/a+b/)", 10054},
    {"W(\"/tmp/a+b/\")", 0},
    {"W(/tmp/a_directory_name_that_is_well_over_forty_nine_characters/)", 0},
    {"W", 10054},
    {"DUPO", 0},
    {"DUPO(1,5)", 0},
    {"DUPE(1,E,B,500)", 0},
    {"DUPI(#2)", 0},
    {"DUPO(1)", 10056},
    {"DUPO(0,5)", 10056},
    {"ORIG(0)", 10057},
    {"ORIG(3)", 0},
    {"SUM", 257},
    {"S(1,2,C,A) SUM", 0},
    {"S(1,2,C,A) SUM(1)", 10062},
    {"S(1,2,C,A) SUM(4,5,NUM)", 0},
    {"S(1,2,C,A) SUM(4,5) DUPO", 15762},
    // OUTR
    {"OUTR(1,4,CRLF)", 0},
    {"OUTR(1,E,RECL,RRN,RBA,BT-R,HL-R,DUPC(2),ARRN,\"x\",&H0D0A,\"&Eab\")", 0},
    {"OUTR(FOO)", 323},
    {"OUTR(\"123456789012345678901\")", 207},
    {"OUTR(&H0)", 207},
    {"OUTR(1,0)", 10007},
    {"OUTR()", 10007},
    {"OUTR(CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,CRLF,"
     "CRLF,CRLF,CRLF,CRLF,CRLF)",
     206},
    // conditions
    {"INCL(1,1,CHA,EQ,\"A\")", 0},
    {"INCLUDE(1,1,CHA,EQ,\"A\")", 0},
    {"INCL((1,1,CHA,EQ,\"A\") OR (1,1,CHA,EQ,\"B\"))", 0},
    {"INCL(1,1,CHA,EQ,\"A\" AND 2,1,CHA,NE,3,1)", 0},
    {"INCL(1,2,INT,GT,\"-5\")", 0},
    {"INCL(1,4,FI,LE,\"70000\")", 0},
    {"INCL(1,8,E,LT,\"1.5\")", 0},
    {"INCL(0,1,CHA,EQ,\"A\")", 202},
    {"INCL(1,0,CHA,EQ,\"A\")", 203},
    {"INCL(1,1,QQQ,EQ,\"A\")", 204},
    {"INCL(1,1,CHA,XX,\"A\")", 205},
    {"INCL(1,4,INT,CO,\"1\")", 205},
    {"INCL(1,1,ALP,CO,\"A*\")", 0},
    {"INCL(1,1,CHA,EQ,\"A\" XOR 1,1,CHA,EQ,\"B\")", 208},
    {"INCL(1,4,INT,EQ,\"x\")", 207},
    {"INCL(1,3,INT,EQ,\"1\")", 207},
    {"INCL(1,2,INT,EQ,\"40000\")", 207},
    {"INCL(1,2,SU,EQ,\"1\")", 207},
    {"INCL(1,60,CHA,EQ,\"123456789012345678901234567890123456789012345678901\")", 207},
    {"INCL(1,1,CHA,EQ)", 10003},
    {"INCL((1,1,CHA,EQ,\"A\")", 10003},
    {"INCL(1,1,CHA,EQ,\"A\" AND)", 10003},
    {"OMIT(1,1,CHA,EQ)", 10006},
    {"OMIT(1,1,CHA,EQ,\"A\")", 0},
    {"INCL(1,1,CHA,EQ,\"A\") OMIT(1,1,CHA,EQ,\"B\")", 10306},
    // combinations
    {"ADDR(RRN) KEYO(RRN)", 10104},
    {"ADDR(RRN) OUTR(1,2)", 10107},
    {"ADDR(RRN) F(RV)", 10116},
    {"ADDR(RRN) F(CVS)", 10117},
    {"ADDR(RRN) F(DB3)", 10120},
    {"BYPA(4,R) F(RV)", 10216},
    {"BYPA(4,R) F(CVS)", 10217},
    {"BYPA(4,R) F(DB3)", 10220},
    {"KEYO(RRN) OUTR(1,2)", 10407},
    {"KEYO(RRN) F(RV)", 10416},
    {"KEYO(RRN) F(CVS)", 10417},
    {"KEYO(RRN) F(DB3)", 10420},
    {"OUTR(1,2) F(RV)", 10716},
    {"OUTR(1,2) F(CVS)", 10717},
    {"OUTR(1,2) F(DB3)", 10720},
    {"F(TXT) RECO(8)", 10913},
    {"RECO(8) F(RV)", 10916},
    {"RECO(8) F(CVS)", 10917},
    {"RECO(8) F(PRE,8)", 10918},
    {"RECO(8) F(DB3)", 10920},
    {"RECO(8) F(VS)", 0},
};

TEST(SrtParse, ErrorCodes)
{
    for (const ErrorCase &c : kErrorCases)
        EXPECT_EQ(parse(c.statement), c.error) << c.statement;
}

TEST(SrtParse, KeyLimitIs256)
{
    EXPECT_EQ(parse(keys(256)), 0u);
    EXPECT_EQ(parse(keys(257)), 206u);
}

TEST(SrtParse, ConditionLimitIs40Entries)
{
    EXPECT_EQ(parse(conditions(20)), 0u); // 20 comparisons and 19 connectives
    EXPECT_EQ(parse(conditions(21)), 206u);
}

TEST(SrtParse, EngineStatementSettings)
{
    SrtSettings s;
    ASSERT_EQ(parse("S(5,4,I,A) CORE(256) F(FIX,8) W(C:\\TEMP\\)", s), 0u);
    ASSERT_EQ(s.keys.size(), 1u);
    EXPECT_EQ(s.keys[0].field.pos, 5u);
    EXPECT_EQ(s.keys[0].field.len, 4u);
    EXPECT_EQ(s.keys[0].type, SRT_INT);
    EXPECT_FALSE(s.keys[0].descending);
    EXPECT_EQ(s.core, 256u);
    EXPECT_EQ(s.org, SRT_FIX);
    EXPECT_EQ(s.recordLength, 8u);
    EXPECT_EQ(s.workDir, "C:/TEMP/");

    ASSERT_EQ(parse("S(13,21,C,A,5,4,I,D) CORE(256) F(FIX,36) W(/tmp/)", s), 0u);
    ASSERT_EQ(s.keys.size(), 2u);
    EXPECT_EQ(s.keys[0].type, SRT_CHA);
    EXPECT_EQ(s.keys[1].type, SRT_INT);
    EXPECT_TRUE(s.keys[1].descending);
}

TEST(SrtParse, CaseAndAbbreviationsGiveTheSameSettings)
{
    SrtSettings a, b;
    ASSERT_EQ(parse("SORT(1,10,CHA,D)", a), 0u);
    ASSERT_EQ(parse("s(1,10,c,d)", b), 0u);
    ASSERT_EQ(a.keys.size(), 1u);
    ASSERT_EQ(b.keys.size(), 1u);
    EXPECT_EQ(b.keys[0].type, a.keys[0].type);
    EXPECT_EQ(b.keys[0].descending, a.keys[0].descending);
    EXPECT_EQ(b.keys[0].field.len, a.keys[0].field.len);
    EXPECT_EQ(a.org, SRT_TXT); // the default organisation
}

TEST(SrtParse, DefaultsAreSettled)
{
    SrtSettings s;
    ASSERT_EQ(parse("RECO(12)", s), 0u);
    EXPECT_EQ(s.org, SRT_FIX);
    EXPECT_EQ(s.recordLength, 12u);

    ASSERT_EQ(parse("F(FE,255) RECO(12)", s), 0u);
    EXPECT_EQ(s.org, SRT_FE);
    EXPECT_EQ(s.endChar, 255);

    ASSERT_EQ(parse("BYPA F(FIX,16)", s), 0u);
    EXPECT_EQ(s.bypassBytes, 16u);
    EXPECT_TRUE(s.bypassKeep);

    ASSERT_EQ(parse("S(1,2,C,A,5,3,C,D) SUM(7,4)", s), 0u);
    EXPECT_EQ(s.dupMode, SRT_DUP_O);
    EXPECT_EQ(s.dupBuffer, 2000u);
    ASSERT_EQ(s.dupFields.size(), 2u);
    EXPECT_EQ(s.dupFields[1].pos, 5u);

    ASSERT_EQ(parse("S(3,2,C,A) KEYO(RRN)", s), 0u);
    ASSERT_EQ(s.outItems.size(), 2u);
    EXPECT_EQ(s.outItems[0].kind, SRT_OUT_RRN);
    EXPECT_EQ(s.outItems[1].field.pos, 3u);

    ASSERT_EQ(parse("DUPE(B 300,1,E)", s), 0u);
    EXPECT_EQ(s.dupBuffer, 300u);
    ASSERT_EQ(s.dupFields.size(), 1u);
    EXPECT_EQ(s.dupFields[0].len, SRT_LEN_TO_END);
}

TEST(SrtParse, ConnectivesApplyLeftToRightInPostfix)
{
    SrtSettings s;
    ASSERT_EQ(parse("INCL(1,1,C,EQ,\"A\" AND 1,1,C,EQ,\"B\" OR 1,1,C,EQ,\"C\")", s), 0u);
    std::vector<SrtCondKind> kinds;
    for (const SrtCondition &c : s.conditions)
        kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<SrtCondKind>{SRT_COND_CMP, SRT_COND_CMP, SRT_COND_AND,
                                               SRT_COND_CMP, SRT_COND_OR}));

    ASSERT_EQ(parse("INCL(1,1,C,EQ,\"A\" OR (1,1,C,EQ,\"B\" AND 1,1,C,EQ,\"C\"))", s), 0u);
    kinds.clear();
    for (const SrtCondition &c : s.conditions)
        kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<SrtCondKind>{SRT_COND_CMP, SRT_COND_CMP, SRT_COND_CMP,
                                               SRT_COND_AND, SRT_COND_OR}));
}

TEST(SrtParse, ConstantsAreConvertedToTheFieldType)
{
    SrtSettings s;
    ASSERT_EQ(parse("INCL(1,4,INT,EQ,\"256\")", s), 0u);
    EXPECT_EQ(s.conditions[0].constant, std::string("\x00\x01\x00\x00", 4));
    ASSERT_EQ(parse("INCL(1,2,FI,EQ,\"-2\")", s), 0u);
    EXPECT_EQ(s.conditions[0].constant, std::string("\xff\xfe", 2));
    ASSERT_EQ(parse("INCL(1,2,BIN,EQ,\"258\")", s), 0u);
    EXPECT_EQ(s.conditions[0].constant, std::string("\x01\x02", 2));
    ASSERT_EQ(parse("APOS INCL(1,3,CHA,EQ,'a b')", s), 0u);
    EXPECT_EQ(s.conditions[0].constant, "a b");
}

TEST(SrtParse, EngineTypesNeedTheEngineComparison)
{
    SrtSettings s;
    EXPECT_EQ(parse("S(5,8,XD,A,13,8,XBD,D,21,16,XTS,A,37,6,XTM,A,43,6,XDT,A)", s, false, true),
              0u);
    EXPECT_EQ(s.keys.size(), 5u);
    EXPECT_EQ(s.keys[4].type, SRT_XDT);
}

TEST(SrtParse, AltsFileGivesWeights)
{
    char path[] = "/tmp/srtaltsXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string bytes(265, '\0');
    bytes[0] = static_cast<char>(0xAC);
    bytes[9 + 'b'] = 1;
    bytes[9 + 'a'] = 2;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 265);
    close(fd);
    SrtSettings s;
    EXPECT_EQ(parse(std::string("ALTS(") + path + ") S(1,2,ALT,A)", s), 0u);
    EXPECT_EQ(s.altWeights['a'], 2);
    bytes[0] = 0;
    FILE *f = std::fopen(path, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    EXPECT_EQ(parse(std::string("ALTS(") + path + ")", s), 10055u);
    unlink(path);
}

TEST(SrtParse, RecordCallRefusesFileStatements)
{
    const ErrorCase cases[] = {
        {"S(1,2,C,A)", 0},
        {"S(1,2,C,A) F(FIX,8)", 10811},
        {"S(1,2,C,A) F(TXT)", 10813},
        {"S(1,2,C,A) OUTR(1,2)", 10708},
        {"S(1,2,C,A) ADDR(RRN)", 10108},
        {"S(1,2,C,A) BYPA(2,R)", 10208},
        {"S(1,2,C,A) KEYO(RRN)", 10408},
        {"S(1,2,C,A) LIMI(3)", 10508},
        {"S(1,2,C,A) RECO(8)", 10809},
    };
    for (const ErrorCase &c : cases)
        EXPECT_EQ(parse(c.statement, true), c.error) << c.statement;
}

} // namespace
