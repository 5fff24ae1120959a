// The entry guard: handles of the wrong kind are refused, and an environment
// shared by threads that allocate, use and free their own connections keeps
// its list whole.
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <thread>
#include <vector>

namespace {

TEST(EntryGuard, HandlesOfAnotherKindAreInvalid)
{
    SQLHENV henv = nullptr;
    ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
    SQLHDBC hdbc = nullptr;
    ASSERT_EQ(SQLAllocConnect(henv, &hdbc), SQL_SUCCESS);

    SQLUSMALLINT exists = 0;
    EXPECT_EQ(SQLGetFunctions(henv, SQL_API_SQLCONNECT, &exists), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetFunctions(nullptr, SQL_API_SQLCONNECT, &exists), SQL_INVALID_HANDLE);
    SQLHDBC other = nullptr;
    EXPECT_EQ(SQLAllocConnect(hdbc, &other), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeEnv(hdbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeConnect(henv), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLDisconnect(henv), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLTransact(henv, nullptr, SQL_COMMIT), SQL_INVALID_HANDLE);
    SQLCHAR state[6];
    SQLINTEGER native;
    SQLCHAR text[100];
    SQLSMALLINT length;
    EXPECT_EQ(SQLError(hdbc, nullptr, nullptr, state, &native, text, sizeof text, &length),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLError(nullptr, henv, nullptr, state, &native, text, sizeof text, &length),
              SQL_INVALID_HANDLE);

    // The right kinds still work.
    EXPECT_EQ(SQLGetFunctions(hdbc, SQL_API_SQLCONNECT, &exists), SQL_SUCCESS);
    EXPECT_EQ(exists, SQL_TRUE);
    EXPECT_EQ(SQLFreeConnect(hdbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeEnv(henv), SQL_SUCCESS);
}

TEST(EntryGuard, ThreadsShareOneEnvironment)
{
    SQLHENV henv = nullptr;
    ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
    constexpr int kThreads = 8;
    constexpr int kRounds = 50;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([henv, t, &failures] {
            for (int i = 0; i < kRounds; ++i) {
                SQLHDBC hdbc = nullptr;
                if (SQLAllocConnect(henv, &hdbc) != SQL_SUCCESS) {
                    ++failures[t];
                    continue;
                }
                SQLUINTEGER mode = 0;
                if (SQLSetConnectOption(hdbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY) != SQL_SUCCESS ||
                    SQLGetConnectOption(hdbc, SQL_ACCESS_MODE, &mode) != SQL_SUCCESS ||
                    mode != SQL_MODE_READ_ONLY)
                    ++failures[t];
                // A refused call leaves its record on this connection only.
                SQLUSMALLINT exists = 0;
                SQLGetFunctions(hdbc, SQL_API_SQLCONNECT, &exists);
                if (SQLFreeConnect(hdbc) != SQL_SUCCESS)
                    ++failures[t];
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(rcListCount(static_cast<rcEnv *>(henv)->connections), 0u);
    EXPECT_EQ(SQLFreeEnv(henv), SQL_SUCCESS);
}

} // namespace
