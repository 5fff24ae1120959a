// Runs text files of SQL with their expected results (tests/sql/*.test, the
// format is in tests/sql/README.md) through the unixODBC Driver Manager
// against a qxserver of its own.
//
//   sqllogic_runner --driver LIB --fixtures DIR [--noopt | --nohash] [--server-log FILE] FILE...
//
// For each file: a fresh qxserver on a loopback port with the file's fixture
// (the `fixture` line, else DIR/sql.json), private odbcinst.ini and odbc.ini
// naming LIB, one connection (more on demand through `connection NAME`), then
// every record of the file in order. --noopt writes the engine options
// NoIndexes, NoFiltOpt, NoJoinOpt and NoOptSort into the data source, so the
// same file shows that the optimisations change no result; --nohash writes
// NoHashOpt, so joins and grouping run as nested loops and sorted groups
// instead of in hash tables. --server-log keeps
// qxserver's request log (of the last file) for looking into a failure.
//
// The driver's spill, sort and long-value files go to a TempFileDirectory of
// the run's own; once a record's statement is closed none may be left there
// (a record that leaves one fails, and the files are removed).
//
// A failing record prints file:line, the SQL, what was expected and what came;
// the run goes on with the next record and the exit status is 1 when any record
// failed (2 when a file could not be read or the server not started).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

namespace {

// Longest value read in one SQLGetData call (texts reach 32767 bytes).
constexpr SQLLEN kValueBufferSize = 65536;

SQLCHAR *Text(const std::string &s)
{
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str()));
}

// One record of a test file.
struct Record {
    enum Kind {
        kStatementOk,
        kStatementCount,
        kStatementError,
        kStatementWarning,
        kQuery,
        kControl
    } kind;
    int line = 0;       // line of the record's first line
    std::string sql;    // the statement (lines joined with '\n')
    std::string state;  // statement error: the expected SQLSTATE
    std::string needle; // statement error: a substring of the message ("" for any)
    long count = 0;     // statement count: the expected row count
    std::string types;  // query: one letter per column
    bool rowsort = false;
    std::vector<std::vector<std::string>> rows; // query: the expected rows
    std::vector<std::string> words;             // control: the directive's words
};

std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The values of one expected row: separated by tabs when the line holds a
// tab (so values may contain blanks), else by runs of blanks. (A row of one
// column is the whole line.)
std::vector<std::string> SplitRow(const std::string &line)
{
    if (line.find('\t') == std::string::npos)
        return Words(line);
    std::vector<std::string> values;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        values.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return values;
        start = tab + 1;
    }
}

std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Reads the records of a file; on a malformed record, *error names its line.
bool ParseFile(const std::string &path, std::vector<Record> &records, std::string &fixture,
               std::string &tmpMemory, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(TrimRight(l));
    auto where = [&](size_t k) { return path + ":" + std::to_string(k + 1) + ": "; };
    size_t k = 0;
    auto blank = [&](size_t j) { return lines[j].empty(); };
    while (k < lines.size()) {
        if (blank(k) || lines[k][0] == '#') {
            ++k;
            continue;
        }
        std::vector<std::string> head = Words(lines[k]);
        Record r{};
        r.line = static_cast<int>(k) + 1;
        size_t headLine = k++;
        // The SQL runs to a blank line (statements) or to "----" (queries).
        auto readSql = [&](bool query) {
            std::string sql;
            while (k < lines.size() && !blank(k) && !(query && lines[k] == "----")) {
                if (lines[k][0] != '#')
                    sql += (sql.empty() ? "" : "\n") + lines[k];
                ++k;
            }
            return sql;
        };
        if (head[0] == "statement" && head.size() >= 2) {
            if (head[1] == "ok" && head.size() == 2) {
                r.kind = Record::kStatementOk;
            } else if (head[1] == "count" && head.size() == 3) {
                r.kind = Record::kStatementCount;
                r.count = std::strtol(head[2].c_str(), nullptr, 10);
            } else if ((head[1] == "error" || head[1] == "warning") && head.size() >= 3) {
                r.kind = head[1] == "error" ? Record::kStatementError : Record::kStatementWarning;
                r.state = head[2];
                size_t at = lines[headLine].find(head[2], lines[headLine].find(head[1]) + 5);
                at += head[2].size();
                while (at < lines[headLine].size() && lines[headLine][at] == ' ')
                    ++at;
                r.needle = lines[headLine].substr(at);
            } else {
                error = where(headLine) + "statement ok | count N | error|warning SQLSTATE [text]";
                return false;
            }
            r.sql = readSql(false);
        } else if (head[0] == "query" && (head.size() == 2 || head.size() == 3)) {
            r.kind = Record::kQuery;
            r.types = head[1];
            if (head.size() == 3) {
                if (head[2] != "rowsort" && head[2] != "nosort") {
                    error = where(headLine) + "sort mode is rowsort or nosort";
                    return false;
                }
                r.rowsort = head[2] == "rowsort";
            }
            for (char c : r.types)
                if (!std::strchr("ITRNDHSB?", c)) {
                    error = where(headLine) + "column types are letters of ITRNDHSB?";
                    return false;
                }
            r.sql = readSql(true);
            if (k >= lines.size() || lines[k] != "----") {
                error = where(headLine) + "query without ----";
                return false;
            }
            ++k;
            for (; k < lines.size() && !blank(k); ++k) {
                std::vector<std::string> values =
                    r.types.size() == 1 ? std::vector<std::string>{lines[k]} : SplitRow(lines[k]);
                if (values.size() != r.types.size()) {
                    error = where(k) + std::to_string(values.size()) + " values for " +
                            std::to_string(r.types.size()) + " columns";
                    return false;
                }
                r.rows.push_back(std::move(values));
            }
        } else if (head[0] == "fixture" && head.size() == 2) {
            fixture = head[1];
            continue;
        } else if (head[0] == "tmpmemory" && head.size() == 2) {
            tmpMemory = head[1];
            continue;
        } else if ((head[0] == "autocommit" && head.size() == 2 &&
                    (head[1] == "on" || head[1] == "off")) ||
                   ((head[0] == "commit" || head[0] == "rollback" || head[0] == "halt") &&
                    head.size() == 1) ||
                   (head[0] == "connection" && head.size() == 2)) {
            r.kind = Record::kControl;
            r.words = head;
        } else {
            error = where(headLine) + "unknown record \"" + lines[headLine] + "\"";
            return false;
        }
        if (r.kind != Record::kControl && r.sql.empty()) {
            error = where(headLine) + "record without SQL";
            return false;
        }
        records.push_back(std::move(r));
    }
    return true;
}

// A real value in the one form both sides are compared in: ten significant
// digits, so that the last bits of a computed double do not matter.
std::string CanonicalReal(const std::string &text)
{
    if (text == "NULL")
        return text;
    char *end = nullptr;
    errno = 0;
    double d = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0')
        return text; // not a number: compared as written, so it shows as a difference
    if (d == 0)
        d = 0; // -0 prints as 0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", d);
    return buf;
}

bool TypeMatches(char letter, SQLSMALLINT type)
{
    switch (letter) {
    case 'I':
        return type == SQL_SMALLINT || type == SQL_INTEGER || type == SQL_TINYINT ||
               type == SQL_BIGINT;
    case 'R':
        return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_NUMERIC ||
               type == SQL_DECIMAL;
    case 'N': // exact numbers, compared as their text
        return type == SQL_DECIMAL || type == SQL_NUMERIC || type == SQL_BIGINT;
    case 'T': return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR;
    case 'D': return type == SQL_DATE || type == SQL_TYPE_DATE;
    case 'H': return type == SQL_TIME || type == SQL_TYPE_TIME;
    case 'S': return type == SQL_TIMESTAMP || type == SQL_TYPE_TIMESTAMP;
    case 'B': return type == SQL_BIT;
    default: return true;
    }
}

// The letter of an SQL type, '?' for one no letter stands for.
char LetterOf(SQLSMALLINT type)
{
    for (char letter : std::string("ITRDHSB"))
        if (TypeMatches(letter, type))
            return letter;
    return '?';
}

std::string RowText(const std::vector<std::string> &row)
{
    std::string text;
    for (size_t k = 0; k < row.size(); ++k)
        text += (k ? "\t" : "") + row[k];
    return text;
}

class Runner {
public:
    Runner(std::string driver, std::string fixtures, std::string mode, std::string serverLog)
        : driver_(std::move(driver)), fixtures_(std::move(fixtures)), mode_(std::move(mode)),
          serverLog_(std::move(serverLog))
    {}

    // Runs one file; returns 0, 1 (a record failed) or 2 (could not run).
    int RunFile(const std::string &path)
    {
        path_ = path;
        std::vector<Record> records;
        std::string fixture = "sql.json", tmpMemory, error;
        if (!ParseFile(path, records, fixture, tmpMemory, error)) {
            std::printf("%s\n", error.c_str());
            return 2;
        }
        qxtest::TempDir dir("qxsql");
        qxtest::OdbcIniFiles ini(dir.Path());
        qxtest::ScopedEnv noDialog("QX_DIALOG", "none");
        // The driver's own files (views among them) live in the file's directory.
        qxtest::ScopedEnv driveRoot("QX_DRIVE_ROOT_DIR", dir.Str());
        // The file's memory limit of temporary tables and hash joins, so
        // that its spills happen with few rows.
        std::unique_ptr<qxtest::ScopedEnv> memoryLimit;
        if (!tmpMemory.empty())
            memoryLimit = std::make_unique<qxtest::ScopedEnv>("QX_TMP_MEMORY_LIMIT", tmpMemory);
        QxServerProcess server;
        std::vector<std::string> args = {"--fixture", fixtures_ + "/" + fixture};
        if (!serverLog_.empty())
            args.insert(args.end(), {"--log", serverLog_});
        if (!server.Start(args, &error)) {
            std::printf("%s: qxserver did not start: %s\n", path.c_str(), error.c_str());
            return 2;
        }
        ini.WriteOdbcinst("[QX]\nDriver=" + driver_ + "\n");
        dbq_ = server.Dbq();
        std::string dsn = "[sql]\nDriver=QX\nDBQ=" + dbq_ + "\n";
        if (mode_ == "noopt")
            dsn += "NoIndexes=1\nNoFiltOpt=1\nNoJoinOpt=1\nNoOptSort=1\n";
        else if (mode_ == "nohash")
            dsn += "NoHashOpt=1\n";
        // The same directory for every file of the run: the Driver Manager
        // may keep the odbc.ini of an earlier file.
        dsn += "[ZorviEngineOptions]\nTempFileDirectory=" + workDir_.Str() + "\n";
        ini.WriteOdbc(dsn);

        if (SQLAllocEnv(&env_) != SQL_SUCCESS) {
            std::printf("%s: no ODBC environment\n", path.c_str());
            return 2;
        }
        int failures = 0, cases = 0;
        current_ = nullptr;
        if (!Switch("main"))
            failures = -1;
        for (const Record &r : records) {
            if (failures < 0)
                break;
            if (r.kind == Record::kControl && r.words[0] == "halt")
                break;
            ++cases;
            bool ok = Run(r);
            if (!LeftNoFiles(r))
                ok = false;
            if (!ok)
                ++failures;
        }
        for (auto &[name, c] : connections_) {
            SQLFreeStmt(c.stmt, SQL_DROP);
            // A file may end inside a manual transaction, which the driver
            // refuses to disconnect from: end it first.
            SQLTransact(env_, c.dbc, SQL_ROLLBACK);
            SQLDisconnect(c.dbc);
            SQLFreeConnect(c.dbc);
        }
        connections_.clear();
        SQLFreeEnv(env_);
        server.Stop();
        if (failures < 0)
            return 2;
        std::printf("%s%s: %d records, %d failed\n", path.c_str(), ModeTag(" (%s)").c_str(),
                    cases, failures);
        return failures ? 1 : 0;
    }

private:
    struct Connection {
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
    };

    // Makes connection `name` the current one, connecting it the first time.
    bool Switch(const std::string &name)
    {
        auto found = connections_.find(name);
        if (found != connections_.end()) {
            current_ = &found->second;
            return true;
        }
        Connection c;
        SQLAllocConnect(env_, &c.dbc);
        // DBQ is given again in the connection string: the Driver Manager may
        // keep the odbc.ini of an earlier file of the same run.
        std::string in = "DSN=sql;DBQ=" + dbq_ + ";UID=demo;PWD=demo";
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        SQLRETURN rc = SQLDriverConnect(c.dbc, nullptr, Text(in), SQL_NTS, out, sizeof out,
                                        &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            std::printf("%s: connection %s failed: %s\n", path_.c_str(), name.c_str(),
                        Diag(c.dbc, SQL_NULL_HSTMT).c_str());
            SQLFreeConnect(c.dbc);
            return false;
        }
        SQLAllocStmt(c.dbc, &c.stmt);
        current_ = &connections_.emplace(name, c).first->second;
        return true;
    }

    // "SQLSTATE message" of every diagnostic record, joined by " | ", or "";
    // *state gets the first record's SQLSTATE.
    std::string Diag(SQLHDBC dbc, SQLHSTMT stmt, std::string *state = nullptr) const
    {
        std::string text;
        for (int k = 0; k < 8; ++k) {
            SQLCHAR sqlState[6] = {};
            SQLCHAR message[1024] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(
                    SQLError(env_, dbc, stmt, sqlState, &native, message, sizeof message, &length)))
                break;
            if (k == 0 && state)
                *state = reinterpret_cast<char *>(sqlState);
            text += (k ? " | " : "") + std::string(reinterpret_cast<char *>(sqlState)) + " " +
                    reinterpret_cast<char *>(message);
        }
        return text;
    }

    void Fail(const Record &r, const std::string &what) const
    {
        std::printf("%s:%d: %s%s\n%s\n", path_.c_str(), r.line, ModeTag("(%s) ").c_str(),
                    r.sql.empty() ? RowText(r.words).c_str() : r.sql.c_str(), what.c_str());
    }

    // No file of the driver's is left in the work directory (every record
    // ends with its statement closed); what is left is reported and removed.
    bool LeftNoFiles(const Record &r)
    {
        std::string left;
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(workDir_.Path(), ec)) {
            left += " " + e.path().filename().string();
            std::filesystem::remove_all(e.path(), ec);
        }
        if (left.empty())
            return true;
        Fail(r, "files left in TempFileDirectory:" + left);
        return false;
    }

    bool Run(const Record &r)
    {
        switch (r.kind) {
        case Record::kControl: return RunControl(r);
        case Record::kQuery: return RunQuery(r);
        default: return RunStatement(r);
        }
    }

    bool RunControl(const Record &r)
    {
        const std::string &what = r.words[0];
        SQLRETURN rc = SQL_SUCCESS;
        if (what == "connection")
            return Switch(r.words[1]);
        if (what == "autocommit")
            rc = SQLSetConnectOption(current_->dbc, SQL_AUTOCOMMIT,
                                     r.words[1] == "on" ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
        else
            rc = SQLTransact(env_, current_->dbc, what == "commit" ? SQL_COMMIT : SQL_ROLLBACK);
        if (SQL_SUCCEEDED(rc))
            return true;
        Fail(r, "failed: " + Diag(current_->dbc, SQL_NULL_HSTMT));
        return false;
    }

    // Executes the record's SQL; on failure *state and *message hold the
    // first diagnostic, and after a warning of the execution *message holds
    // its records. A result set is read to its end, every value with
    // SQLGetData, so that an error raised while fetching or converting a
    // value counts as the statement's error.
    SQLRETURN Execute(const Record &r, std::string *state, std::string *message)
    {
        SQLHSTMT stmt = current_->stmt;
        SQLRETURN rc = SQLExecDirect(stmt, Text(r.sql), SQL_NTS);
        if (rc == SQL_SUCCESS_WITH_INFO)
            *message = Diag(current_->dbc, stmt);
        SQLSMALLINT columns = 0;
        if (SQL_SUCCEEDED(rc))
            SQLNumResultCols(stmt, &columns);
        if (SQL_SUCCEEDED(rc) && columns > 0) {
            Buffer();
            while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
                for (SQLUSMALLINT k = 1; k <= columns && SQL_SUCCEEDED(rc); ++k) {
                    SQLLEN length = 0;
                    rc = SQLGetData(stmt, k, SQL_C_CHAR, buffer_.get(), kValueBufferSize, &length);
                }
                if (!SQL_SUCCEEDED(rc))
                    break;
            }
            if (rc == SQL_NO_DATA_FOUND)
                rc = SQL_SUCCESS;
        }
        if (rc == SQL_ERROR)
            *message = Diag(current_->dbc, stmt, state);
        return rc;
    }

    char *Buffer()
    {
        if (!buffer_)
            buffer_ = std::make_unique<char[]>(kValueBufferSize);
        return buffer_.get();
    }

    bool RunStatement(const Record &r)
    {
        std::string state, message;
        SQLRETURN rc = Execute(r, &state, &message);
        SQLLEN count = -1;
        if (rc != SQL_ERROR && r.kind == Record::kStatementCount)
            SQLRowCount(current_->stmt, &count);
        SQLFreeStmt(current_->stmt, SQL_CLOSE);
        switch (r.kind) {
        case Record::kStatementError:
            if (rc != SQL_ERROR) {
                Fail(r, "expected error " + r.state + ", got success");
                return false;
            }
            if (state != r.state || message.find(r.needle) == std::string::npos) {
                Fail(r, "expected error " + r.state + (r.needle.empty() ? "" : " " + r.needle) +
                            "\ngot      " + message);
                return false;
            }
            return true;
        case Record::kStatementWarning:
            // Any of the warning's records may carry the SQLSTATE.
            if (rc == SQL_SUCCESS_WITH_INFO &&
                (message.rfind(r.state + " ", 0) == 0 ||
                 message.find(" | " + r.state + " ") != std::string::npos) &&
                message.find(r.needle) != std::string::npos)
                return true;
            Fail(r, "expected warning " + r.state + (r.needle.empty() ? "" : " " + r.needle) +
                        "\ngot      " + (rc == SQL_SUCCESS ? "success" : message));
            return false;
        case Record::kStatementCount:
            if (rc != SQL_ERROR && count == r.count)
                return true;
            Fail(r, "expected row count " + std::to_string(r.count) + "\ngot      " +
                        (rc == SQL_ERROR ? message : std::to_string(count)));
            return false;
        default:
            if (rc != SQL_ERROR && rc != SQL_INVALID_HANDLE)
                return true;
            Fail(r, "expected success\ngot      " + message);
            return false;
        }
    }

    bool RunQuery(const Record &r)
    {
        SQLHSTMT stmt = current_->stmt;
        SQLRETURN rc = SQLExecDirect(stmt, Text(r.sql), SQL_NTS);
        if (!SQL_SUCCEEDED(rc)) {
            Fail(r, "expected rows\ngot      " + Diag(current_->dbc, stmt));
            SQLFreeStmt(stmt, SQL_CLOSE);
            return false;
        }
        bool ok = ReadAndCompare(r, stmt);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return ok;
    }

    bool ReadAndCompare(const Record &r, SQLHSTMT stmt)
    {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        if (static_cast<size_t>(columns) != r.types.size()) {
            Fail(r, "expected " + std::to_string(r.types.size()) + " columns\ngot      " +
                        std::to_string(columns));
            return false;
        }
        std::string types;
        bool typesMatch = true;
        for (SQLUSMALLINT k = 1; k <= columns; ++k) {
            SQLCHAR name[256];
            SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
            SQLULEN precision = 0;
            SQLDescribeCol(stmt, k, name, sizeof name, &nameLength, &type, &precision, &scale,
                           &nullable);
            types += LetterOf(type);
            typesMatch = typesMatch && TypeMatches(r.types[k - 1], type);
        }
        if (!typesMatch) {
            Fail(r, "expected column types " + r.types + "\ngot      " + types);
            return false;
        }
        std::vector<std::vector<std::string>> got;
        std::string error;
        SQLRETURN rc;
        while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
            std::vector<std::string> row;
            for (SQLUSMALLINT k = 1; k <= columns && error.empty(); ++k)
                row.push_back(Value(stmt, k, r.types[k - 1], &error));
            got.push_back(std::move(row));
            if (!error.empty())
                break;
        }
        if (error.empty() && rc != SQL_NO_DATA_FOUND)
            error = Diag(current_->dbc, stmt);
        std::vector<std::vector<std::string>> expected = r.rows;
        for (auto &row : expected)
            for (size_t k = 0; k < row.size(); ++k)
                if (r.types[k] == 'R')
                    row[k] = CanonicalReal(row[k]);
        if (r.rowsort) {
            std::sort(expected.begin(), expected.end());
            std::sort(got.begin(), got.end());
        }
        if (error.empty() && got == expected)
            return true;
        std::string what = "expected:\n";
        for (const auto &row : expected)
            what += "  " + RowText(row) + "\n";
        what += "got:\n";
        for (const auto &row : got)
            what += "  " + RowText(row) + "\n";
        if (!error.empty())
            what += "  error " + error + "\n";
        Fail(r, what);
        return false;
    }

    // One value as the file writes it: NULL, (empty) for an empty text, reals
    // in canonical form.
    std::string Value(SQLHSTMT stmt, SQLUSMALLINT column, char type, std::string *error)
    {
        SQLLEN length = 0;
        if (type == 'R') {
            double d = 0;
            SQLRETURN rc = SQLGetData(stmt, column, SQL_C_DOUBLE, &d, sizeof d, &length);
            if (!SQL_SUCCEEDED(rc)) {
                *error = Diag(current_->dbc, stmt);
                return "";
            }
            if (length == SQL_NULL_DATA)
                return "NULL";
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", d);
            return CanonicalReal(buf);
        }
        SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, Buffer(), kValueBufferSize, &length);
        if (!SQL_SUCCEEDED(rc)) {
            *error = Diag(current_->dbc, stmt);
            return "";
        }
        if (length == SQL_NULL_DATA)
            return "NULL";
        if (buffer_[0] == '\0')
            return "(empty)";
        return buffer_.get();
    }

    // The mode in format (one %s), or nothing when running as is.
    std::string ModeTag(const char *format) const
    {
        if (mode_.empty())
            return "";
        char text[64];
        std::snprintf(text, sizeof text, format, mode_.c_str());
        return text;
    }

    std::string driver_, fixtures_, path_, dbq_;
    std::string mode_; // "", "noopt" or "nohash"
    std::string serverLog_;
    SQLHENV env_ = SQL_NULL_HENV;
    std::map<std::string, Connection> connections_;
    Connection *current_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    // The driver's TempFileDirectory.
    qxtest::TempDir workDir_{"qxsqlwork"};
};

int Usage()
{
    std::fprintf(stderr, "usage: sqllogic_runner --driver LIB --fixtures DIR [--noopt | --nohash] "
                         "[--server-log FILE] FILE...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::string driver, fixtures, serverLog, mode;
    std::vector<std::string> files;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--driver" && k + 1 < argc)
            driver = argv[++k];
        else if (a == "--fixtures" && k + 1 < argc)
            fixtures = argv[++k];
        else if (a == "--server-log" && k + 1 < argc)
            serverLog = argv[++k];
        else if (a == "--noopt" || a == "--nohash")
            mode = a.substr(2);
        else if (a.rfind("--", 0) == 0)
            return Usage();
        else
            files.push_back(a);
    }
    if (driver.empty() || fixtures.empty() || files.empty())
        return Usage();
    int status = 0;
    for (const std::string &file : files) {
        Runner runner(driver, fixtures, mode, serverLog);
        status = std::max(status, runner.RunFile(file));
    }
    return status;
}
