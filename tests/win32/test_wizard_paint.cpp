/*
 * The two progress bars under Wine, read back pixel by pixel: painted into a
 * memory DC of the dialog's client size (the caller's DC, kept as it was) and
 * onto the dialog itself (the painter's own DC), then wiped.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/platform.h"
#include "payload/progress.h"
#include "tests/win32/wizard_dialog.h"

using namespace wizardtest;

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kFileGreen = RGB(0, 200, 100);
const COLORREF kCanvas = RGB(10, 20, 30);

/* A memory DC the size of the dialog's client area, filled with kCanvas. */
struct Canvas {
    Canvas(HWND dialog, int bits = 0)
    {
        GetClientRect(dialog, &size);
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        if (bits == 0) {
            bitmap = CreateCompatibleBitmap(screen, size.right, size.bottom);
        } else {
            // A 16-colour DIB section with the standard VGA palette.
            struct {
                BITMAPINFOHEADER h;
                RGBQUAD colours[16];
            } info = {};
            info.h.biSize = sizeof info.h;
            info.h.biWidth = size.right;
            info.h.biHeight = size.bottom;
            info.h.biPlanes = 1;
            info.h.biBitCount = 4;
            info.h.biClrUsed = 16;
            const COLORREF vga[16] = {
                RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
                RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
                RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
                RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
            for (int i = 0; i < 16; i++)
                info.colours[i] = {GetBValue(vga[i]), GetGValue(vga[i]), GetRValue(vga[i]), 0};
            void *bits_;
            bitmap = CreateDIBSection(dc, (BITMAPINFO *)&info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        }
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(bits ? RGB(0, 0, 128) : kCanvas);
        FillRect(dc, &size, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    RECT size;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

class Bars : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = CreateWizard();
        ASSERT_NE(dialog, nullptr);
        SetPage(dialog, kPageProgress);
        Pump();
        overall = ClientRect(dialog, IDC_OVERALLBAR);
        file = ClientRect(dialog, IDC_FILEBAR);
        ASSERT_GT(overall.right - overall.left, 40);
        ASSERT_GE(file.bottom - file.top, 3);
    }
    void TearDown() override { DestroyWizard(dialog); }

    /* Every pixel of the frame of `bar` is black. */
    static void ExpectFrame(const Canvas &c, const RECT &bar)
    {
        for (int x = bar.left; x < bar.right; x++) {
            EXPECT_EQ(c.At(x, bar.top), kBlack) << x;
            EXPECT_EQ(c.At(x, bar.bottom - 1), kBlack) << x;
        }
        for (int y = bar.top; y < bar.bottom; y++) {
            EXPECT_EQ(c.At(bar.left, y), kBlack) << y;
            EXPECT_EQ(c.At(bar.right - 1, y), kBlack) << y;
        }
        // Nothing just outside it.
        EXPECT_EQ(c.At(bar.left - 1, bar.top), c.At(0, 0));
        EXPECT_EQ(c.At(bar.right, bar.bottom - 1), c.At(0, 0));
        EXPECT_EQ(c.At(bar.left, bar.bottom), c.At(0, 0));
    }

    /* Columns [from, to) of the inner band all have colour `colour`. */
    static void ExpectColumns(const Canvas &c, const RECT &bar, int from, int to, COLORREF colour)
    {
        for (int x = from; x < to; x++)
            for (int y = bar.top + 1; y < bar.bottom - 1; y++)
                if (c.At(x, y) != colour) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << c.At(x, y)
                                  << ", expected " << colour;
                    return;
                }
    }

    /* Leftmost column of the inner band holding a red pixel, -1 if none. */
    static int FirstRedColumn(const Canvas &c, const RECT &bar)
    {
        for (int x = bar.left + 1; x < bar.right - 1; x++)
            for (int y = bar.top + 1; y < bar.bottom - 1; y++)
                if (c.At(x, y) == kRed)
                    return x;
        return -1;
    }

    HWND dialog = nullptr;
    RECT overall = {}, file = {};
};

TEST_F(Bars, OverallBarHalfFilledWithItsPercentage)
{
    Canvas c(dialog);
    int width = overall.right - overall.left;
    int fill = width / 2;
    PaintScanBar(c.dc, fill);

    ExpectFrame(c, overall);
    COLORREF blue = GetNearestColor(c.dc, RGB(0, 70, 140));
    ExpectColumns(c, overall, overall.left + 1, overall.left + fill, blue);
    // White up to the text, which starts 4 pixels after the fill.
    ExpectColumns(c, overall, overall.left + fill, overall.left + fill + 4, kWhite);
    int red = FirstRedColumn(c, overall);
    EXPECT_GE(red, overall.left + fill + 4);
    EXPECT_LE(red, overall.left + fill + 6);   // a glyph's first column may be blank

    // The text is the percentage, drawn at its reference point in the DC's font.
    Canvas expected(dialog);
    RECT band = {overall.left + fill, overall.top + 1, overall.right - 1, overall.bottom - 1};
    FillRect(expected.dc, &band, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetTextColor(expected.dc, kRed);
    SetBkColor(expected.dc, kWhite);
    RECT clip = {band.left + 4, band.top, band.right, band.bottom};
    char text[16];
    wsprintfA(text, "%d%%", fill * 100 / width);
    ExtTextOutA(expected.dc, clip.left, band.top + (band.bottom - band.top) / 5, ETO_CLIPPED, &clip, text,
                lstrlenA(text), nullptr);
    for (int x = band.left; x < band.right; x++)
        for (int y = band.top; y < band.bottom; y++)
            ASSERT_EQ(c.At(x, y), expected.At(x, y)) << x << "," << y << " text " << text;
}

TEST_F(Bars, OverallBarEmptyFullAndNearlyFull)
{
    int width = overall.right - overall.left;
    struct Case {
        int fill;
        int whiteFrom;   // first white column, or 0 for none
        const char *what;
    };
    const Case cases[] = {
        {0, overall.left + 1, "empty: all white with 0%"},
        {-5, overall.left + 1, "negative: as empty"},
        {width - 2, overall.right - 2, "one white column left, its text clipped away"},
        {width - 1, 0, "fill reaches the last inner column: full, no text"},
        {width, 0, "whole width"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        Canvas c(dialog);
        PaintScanBar(c.dc, k.fill);
        ExpectFrame(c, overall);
        COLORREF blue = GetNearestColor(c.dc, RGB(0, 70, 140));
        int blueTo = k.whiteFrom ? k.whiteFrom : overall.right - 1;
        ExpectColumns(c, overall, overall.left + 1, blueTo, blue);
        if (k.whiteFrom) {
            int red = FirstRedColumn(c, overall);
            if (k.whiteFrom + 4 < overall.right - 1) {
                EXPECT_GE(red, k.whiteFrom + 4);
                ExpectColumns(c, overall, k.whiteFrom, k.whiteFrom + 4, kWhite);
            } else {
                EXPECT_EQ(red, -1);
                ExpectColumns(c, overall, k.whiteFrom, overall.right - 1, kWhite);
            }
        } else {
            EXPECT_EQ(FirstRedColumn(c, overall), -1);
        }
    }
}

TEST_F(Bars, ScanProgressMeasuresTheInstallerAndPaintsItsShare)
{
    // A 1000-byte "installer" read up to byte 500.
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    lstrcatA(path, "scan_progress.bin");
    FILE *f = fopen(path, "w+b");
    ASSERT_NE(f, nullptr);
    std::vector<char> bytes(1000, 'x');
    fwrite(bytes.data(), 1, bytes.size(), f);
    fseek(f, 500, SEEK_SET);

    int width = overall.right - overall.left;
    session.setupSize = 0;
    Canvas c(dialog);
    DrawScanProgress(c.dc, f);
    EXPECT_EQ(session.setupSize, 1000);
    EXPECT_EQ(session.overallFill, width / 2);
    EXPECT_EQ(ftell(f), 500);
    COLORREF blue = GetNearestColor(c.dc, RGB(0, 70, 140));
    ExpectColumns(c, overall, overall.left + 1, overall.left + width / 2, blue);
    ExpectColumns(c, overall, overall.left + width / 2, overall.left + width / 2 + 4, kWhite);

    // Without a stream the last fill is painted again, the stream untouched.
    fseek(f, 900, SEEK_SET);
    Canvas again(dialog);
    DrawScanProgress(again.dc, nullptr);
    EXPECT_EQ(session.overallFill, width / 2);
    ExpectColumns(again, overall, overall.left + 1, overall.left + width / 2, blue);
    fclose(f);
    DeleteFileA(path);
}

TEST_F(Bars, OverallFillIsASolidNearestColourOnA16ColourDevice)
{
    Canvas c(dialog, 4);
    int fill = (overall.right - overall.left) / 2;
    PaintScanBar(c.dc, fill);
    COLORREF nearest = GetNearestColor(c.dc, RGB(0, 70, 140));
    EXPECT_NE(nearest, RGB(0, 70, 140));
    ExpectColumns(c, overall, overall.left + 1, overall.left + fill, nearest);
}

TEST_F(Bars, PaintersLeaveTheCallersColoursAlone)
{
    Canvas c(dialog);
    SetTextColor(c.dc, RGB(1, 2, 3));
    SetBkColor(c.dc, RGB(4, 5, 6));
    PaintScanBar(c.dc, 10);
    DrawFileProgress(c.dc, 1, 3);
    EXPECT_EQ(GetTextColor(c.dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkColor(c.dc), RGB(4, 5, 6));
}

TEST_F(Bars, FileBarFillsInProportionWithoutText)
{
    int width = file.right - file.left;
    struct Case {
        uint32_t done, total;
        int fill;
        const char *what;
    };
    const Case cases[] = {
        {50, 100, width / 2, "half"},
        {0, 100, 0, "nothing yet"},
        {7, 0, 0, "empty member: all white"},
        {30000000, 40000000, width * 3 / 4, "27 MB and more: the product needs 64 bits"},
        {0xFFFFFFFFu, 0xFFFFFFFFu, width, "largest member, done"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        Canvas c(dialog);
        DrawFileProgress(c.dc, k.done, k.total);
        ExpectFrame(c, file);
        int greenTo = k.fill > 0 ? std::min<int>(file.left + k.fill, file.right - 1) : file.left + 1;
        ExpectColumns(c, file, file.left + 1, greenTo, kFileGreen);
        ExpectColumns(c, file, greenTo, file.right - 1, kWhite);
    }
}

TEST_F(Bars, OwnDeviceContextPaintsOnTheDialogAndTheWipeErases)
{
    HDC dc = GetDC(dialog);
    COLORREF background = GetPixel(dc, 1, 1);
    int fill = (file.right - file.left) / 2;
    DrawFileProgress(nullptr, 1, 2);
    PaintScanBar(nullptr, (overall.right - overall.left) / 2);
    EXPECT_EQ(GetPixel(dc, file.left, file.top), kBlack);
    EXPECT_EQ(GetPixel(dc, file.left + fill / 2, file.top + 1), kFileGreen);
    EXPECT_EQ(GetPixel(dc, overall.left + 2, overall.top + 2), GetNearestColor(dc, RGB(0, 70, 140)));

    WipeFileBar();
    EXPECT_EQ(GetPixel(dc, file.left, file.top), background);
    EXPECT_EQ(GetPixel(dc, file.left + fill / 2, file.top + 1), background);
    // The overall bar is not touched by the wipe.
    EXPECT_EQ(GetPixel(dc, overall.left + 2, overall.top + 2), GetNearestColor(dc, RGB(0, 70, 140)));
    ReleaseDC(dialog, dc);
}

TEST_F(Bars, NoDialogNoPainting)
{
    session.wizardDialog = nullptr;
    PaintScanBar(nullptr, 10);
    DrawFileProgress(nullptr, 1, 2);
    WipeFileBar();
    session.wizardDialog = dialog;
}

}  // namespace
