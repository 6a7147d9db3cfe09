// The wizard's pure arithmetic: centring, group shifts, bar layout and texts,
// and the chooser's folder suggestion.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/ids.h"
#include "common/session.h"
#include "common/geometry.h"

// Found by argument lookup, so beside PixelRect in the global namespace.
static bool operator==(const PixelRect &a, const PixelRect &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream &operator<<(std::ostream &os, const PixelRect &r)
{
    return os << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

TEST(CenterPosition, CentresAndKeepsOnTheDesktop)
{
    struct Case {
        PixelRect desktop;
        int32_t width, height;
        int32_t x, y;
        const char *what;
    };
    const PixelRect vga = {0, 0, 800, 600};
    const Case cases[] = {
        {vga, 301, 201, 250, 200, "each half truncated on its own"},
        {vga, 100, 590, 350, 0, "bottom margin pulls it up to exactly 0, which stays"},
        {vga, 100, 595, 350, 1, "pulled above the top: 1"},
        {vga, 900, 700, 1, 1, "larger than the desktop both ways"},
        {vga, 781, 10, 9, 295, "right margin: centred at 10, moved to 9"},
        {vga, 780, 10, 10, 295, "ends exactly at the right margin: stays"},
        {{100, 50, 900, 650}, 200, 100, 400, 300, "desktop not at the origin"},
        {vga, 0, 0, 400, 300, "empty window"},
    };
    for (const Case &c : cases) {
        PixelPoint p = CenterPosition(c.desktop, c.width, c.height);
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}

TEST(GroupShift, MovesEachBaseToItsPagePlace)
{
    struct Case {
        int base;
        PixelRect rect;
        int32_t clientWidth, optionsTop;
        int32_t dx, dy;
    };
    const Case cases[] = {
        {IDC_WELCOME, {20, 380, 236, 422}, 333, 0, 0, 356},
        {IDC_LICENCEINTRO, {20, 587, 269, 632}, 333, 0, 0, 567},
        {IDC_FOLDERINTRO, {20, 918, 278, 934}, 333, 0, 0, 898},
        {IDC_DONE1, {20, 1400, 209, 1418}, 333, 0, 0, 1370},
        // width 153: 333/2 - 153/2 = 166 - 76 = 90
        {IDC_STATUS, {71, 1233, 224, 1249}, 333, 104, 71 - 90, 1233 - 104},
        // even client width, even control width
        {IDC_STATUS, {10, 50, 110, 60}, 400, 40, 10 - 150, 10},
    };
    for (const Case &c : cases) {
        PixelPoint shift = {-1, -1};
        ASSERT_EQ(GroupShift(c.base, c.rect, c.clientWidth, c.optionsTop, &shift), 1) << c.base;
        EXPECT_EQ(shift.x, c.dx) << c.base;
        EXPECT_EQ(shift.y, c.dy) << c.base;
    }
    PixelPoint shift = {7, 7};
    EXPECT_EQ(GroupShift(IDC_BROWSE, {1, 2, 3, 4}, 333, 0, &shift), 0);
    EXPECT_EQ(shift.x, 0);
    EXPECT_EQ(shift.y, 0);
}

TEST(MulDivDown, MatchesSixtyFourBitDivisionWhereTheQuotientFits)
{
    const uint32_t cases[][3] = {
        {0, 0, 1},          {1, 1, 1},          {160, 99, 100},       {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {0xFFFFFFFFu, 1, 1}, {0x80000000u, 2, 2}, {123456789, 987, 1000}, {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MulDivDown(c[0], c[1], c[2]), (uint64_t)c[0] * c[1] / c[2]) << c[0] << "*" << c[1] << "/" << c[2];
    // Every product against every divisor from a spread of values.
    uint32_t x = 12345;
    for (int i = 0; i < 20000; i++) {
        x = x * 1103515245u + 12345u;
        uint32_t a = x, b = (x >> 7) % 4096, c = (x % 0x7FFFFFFFu) + 1;
        if ((uint64_t)a * b / c <= 0xFFFFFFFFu)
            ASSERT_EQ(MulDivDown(a, b, c), (uint64_t)a * b / c) << a << "*" << b << "/" << c;
    }
}

TEST(FileFill, FormsTheProductInSixtyFourBits)
{
    struct Case {
        int32_t width;
        uint32_t done, total;
        int32_t fill;
        const char *what;
    };
    const Case cases[] = {
        {160, 50, 100, 80, "half"},
        {160, 0, 100, 0, "nothing yet"},
        {160, 100, 100, 160, "all"},
        {160, 99, 100, 158, "remainder discarded"},
        {160, 5, 0, 0, "empty member"},
        {160, 30000000, 40000000, 120, "past 27 MB the 32-bit product overflows"},
        {160, 0xFFFFFFFFu, 0xFFFFFFFFu, 160, "largest member, finished"},
        {160, 200, 100, 160, "more than the total never overfills"},
        {0, 50, 100, 0, "no bar"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileFill(c.width, c.done, c.total), c.fill) << c.what;
}

TEST(PercentText, FollowsThePixelFill)
{
    struct Case {
        int32_t fill, width;
        const char *text;
    };
    const Case cases[] = {
        {80, 160, "50%"}, {0, 160, "0%"}, {-3, 160, "0%"}, {1, 160, "0%"},
        {2, 160, "1%"},   {159, 160, "99%"}, {160, 160, "100%"}, {5, 0, "0%"},
    };
    for (const Case &c : cases) {
        char text[12];
        PercentText(c.fill, c.width, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.fill << "/" << c.width;
    }
}

TEST(LayoutBar, SplitsTheBandAndPlacesTheText)
{
    const PixelRect bar = {66, 100, 226, 129};   // width 160
    struct Case {
        int32_t fill;
        int hasFilled;
        PixelRect filled;
        int hasUnfilled;
        PixelRect unfilled;
        PixelPoint text;
        const char *what;
    };
    const Case cases[] = {
        {80, 1, {67, 101, 146, 128}, 1, {146, 101, 225, 128}, {150, 106}, "half: columns 67-145 and 146-224"},
        {0, 0, {}, 1, {67, 101, 225, 128}, {71, 106}, "empty"},
        {-4, 0, {}, 1, {67, 101, 225, 128}, {71, 106}, "negative is empty"},
        {158, 1, {67, 101, 224, 128}, 1, {224, 101, 225, 128}, {228, 106}, "one white column left"},
        {159, 1, {67, 101, 225, 128}, 0, {}, {}, "reaches the last inner column: full, no text"},
        {160, 1, {67, 101, 225, 128}, 0, {}, {}, "the whole width"},
        {INT32_MAX, 1, {67, 101, 225, 128}, 0, {}, {}, "absurd fill stays inside"},
    };
    for (const Case &c : cases) {
        BarParts parts = LayoutBar(bar, c.fill);
        EXPECT_EQ(parts.frame, bar) << c.what;
        EXPECT_EQ(parts.hasFilled, c.hasFilled) << c.what;
        if (c.hasFilled)
            EXPECT_EQ(parts.filled, c.filled) << c.what;
        EXPECT_EQ(parts.hasUnfilled, c.hasUnfilled) << c.what;
        if (c.hasUnfilled) {
            EXPECT_EQ(parts.unfilled, c.unfilled) << c.what;
            EXPECT_EQ(parts.textOrigin.x, c.text.x) << c.what;
            EXPECT_EQ(parts.textOrigin.y, c.text.y) << c.what;
            PixelRect clip = {c.text.x, 101, 225, 128};
            EXPECT_EQ(parts.textClip, clip) << c.what;
        }
    }
}

TEST(LayoutBar, ThinBarsRoundTheBaselineDown)
{
    // The per-file bar is a few pixels high: band 1 to 4, (4 - 1) / 5 = 0.
    BarParts parts = LayoutBar({10, 0, 60, 5}, 0);
    EXPECT_EQ(parts.textOrigin.y, 1);
    // A degenerate bar one pixel high: band 1 to 0, -1 / 5 rounds down to -1.
    parts = LayoutBar({10, 0, 60, 1}, 0);
    EXPECT_EQ(parts.textOrigin.y, 0);
}

TEST(ComposeSuggestion, ProposesAYelkFolder)
{
    struct Case {
        const char *current, *program, *suggestion;
        const char *what;
    };
    const char *setup = "c:\\setup\\setup32.exe";
    const Case cases[] = {
        {"", setup, "c:\\setup\\yelk", "no current folder: beside the installer"},
        {"c", setup, "c:\\setup\\yelk", "one character: beside the installer"},
        {"", "\\\\server\\share\\setup32.exe", "\\\\server\\share\\yelk", "installer without a drive"},
        {"", "C:\\Setup\\SETUP32.EXE", "C:\\Setup\\yelk", "installer's folder is not lower-cased"},
        {"c:\\", setup, "c:\\yelk", "root"},
        {"c:\\apps", setup, "c:\\apps\\yelk", "plain folder"},
        {"c:\\program files", setup, "c:\\program files\\yelk", "folder with a space"},
        {"c:\\yelk", setup, "c:\\yelk", "already a yelk folder"},
        {"c:\\yelk\\old", setup, "c:\\yelk\\old", "inside a yelk folder"},
        {"c:\\yelkfiles", setup, "c:\\yelkfiles", "any \\yelk counts"},
        {"c:\\myyelk", setup, "c:\\myyelk\\yelk", "yelk not after a backslash"},
    };
    for (const Case &c : cases) {
        std::vector<char> out(kPathSize, 'x');
        EXPECT_EQ(ComposeSuggestion(c.current, c.program, out.data()), 1) << c.what;
        EXPECT_STREQ(out.data(), c.suggestion) << c.what;
    }
}

TEST(ComposeSuggestion, RefusesWhatWouldNotFit)
{
    // 299 characters is the most a path may hold.
    const std::string folder294 = "c:\\" + std::string(291, 'a');
    const std::string root295 = "c:\\" + std::string(291, 'a') + "\\";
    const std::string yelk299 = "c:\\yelk\\" + std::string(291, 'b');
    struct Case {
        std::string current;
        int ok;
        std::string suggestion;
    };
    const Case cases[] = {
        {folder294, 1, folder294 + "\\yelk"},
        {folder294 + "a", 0, ""},
        {root295, 1, root295 + "yelk"},
        {root295 + "\\", 0, ""},
        {yelk299, 1, yelk299},
    };
    for (const Case &c : cases) {
        // Exactly kPathSize bytes on the heap, so a write past it is caught.
        std::vector<char> out(kPathSize, 'x');
        EXPECT_EQ(ComposeSuggestion(c.current.c_str(), "c:\\s.exe", out.data()), c.ok)
            << c.current.size();
        EXPECT_EQ(std::string(out.data()), c.suggestion) << c.current.size();
    }

    // An installer path of 299 characters still gives a folder that fits.
    const std::string program = "c:\\" + std::string(284, 'd') + "\\setup32.exe";
    ASSERT_EQ(program.size(), 299u);
    std::vector<char> out(kPathSize);
    EXPECT_EQ(ComposeSuggestion("", program.c_str(), out.data()), 1);
    EXPECT_EQ(std::string(out.data()), program.substr(0, 288) + "yelk");
}

}  // namespace
