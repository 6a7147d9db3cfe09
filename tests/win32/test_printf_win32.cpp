/*
 * The installer's snprintf (app/printf_win32.cpp, its own formatter): C99 results and
 * termination for the formats the installer uses, cut or not.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

struct Case {
    const char *what;
    size_t size;          /* buffer size handed to snprintf */
    const char *expected; /* buffer contents afterwards */
    int result;
};

/* Each row formats "%s%s" with "abcd" and "efgh" (8 characters). */
const Case kCases[] = {
    {"fits with room", 16, "abcdefgh", 8},
    {"fits exactly with its terminator", 9, "abcdefgh", 8},
    {"one character too long", 8, "abcdefg", 8},
    {"cut short", 4, "abc", 8},
    {"room for the terminator only", 1, "", 8},
};

TEST(PrintfWin32, CutsAndTerminatesLikeC99)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        char buffer[32];
        memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(snprintf(buffer, c.size, "%s%s", "abcd", "efgh"), c.result);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer";
    }
}

TEST(PrintfWin32, SizeZeroWritesNothingAndMeasures)
{
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(snprintf(buffer, 0, "%s", "abcdef"), 6);
    EXPECT_EQ(buffer[0], '#');
}

TEST(PrintfWin32, InstallerFormats)
{
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%d%%", 42);
    EXPECT_STREQ(buffer, "42%");
    snprintf(buffer, sizeof buffer, "%.*s%s", 3, "c:\\dir\\x.hlp", "x.gid");
    EXPECT_STREQ(buffer, "c:\\x.gid");
    snprintf(buffer, sizeof buffer, "Yelk Installation Error [%d]", 10);
    EXPECT_STREQ(buffer, "Yelk Installation Error [10]");
}

}  // namespace
