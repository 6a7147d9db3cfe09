/* The wizard's pure arithmetic: centring, group shifts, bar layout, suggestion. */
#include "common/geometry.h"

#include <cstdio>
#include <cstring>

#include "common/ids.h"
#include "common/path.h"
#include "common/session.h"

enum {
    kDesktopMargin = 10,   /* gap kept to the desktop's right and bottom edges */
    kTextIndent = 4        /* bar text starts this far right of the fill */
};

PixelPoint CenterPosition(const PixelRect &desktop, int32_t width, int32_t height)
{
    PixelPoint p;
    p.y = desktop.top + (desktop.bottom - desktop.top) / 2 - height / 2;
    p.x = desktop.left + (desktop.right - desktop.left) / 2 - width / 2;
    if (p.y + height > desktop.bottom - kDesktopMargin)
        p.y = desktop.bottom - kDesktopMargin - height;
    if (p.x + width > desktop.right - kDesktopMargin)
        p.x = desktop.right - kDesktopMargin - width;
    /* Only a negative coordinate moves; an edge exactly at 0 stays. */
    if (p.y < 0)
        p.y = 1;
    if (p.x < 0)
        p.x = 1;
    return p;
}

int GroupShift(int base, const PixelRect &baseRect, int32_t clientWidth, int32_t optionsTop,
               PixelPoint *shift)
{
    switch (base) {
    case IDC_WELCOME:
        *shift = {baseRect.left - 20, baseRect.top - 24};
        return 1;
    case IDC_LICENCEINTRO:
    case IDC_FOLDERINTRO:
        *shift = {baseRect.left - 20, baseRect.top - 20};
        return 1;
    case IDC_DONE1:
        *shift = {baseRect.left - 20, baseRect.top - 30};
        return 1;
    case IDC_STATUS: {
        /* Centred by its own width, in the place of the option boxes. */
        int32_t width = baseRect.right - baseRect.left;
        *shift = {baseRect.left - (clientWidth / 2 - width / 2), baseRect.top - optionsTop};
        return 1;
    }
    default:
        *shift = {0, 0};
        return 0;
    }
}

uint32_t MulDivDown(uint32_t a, uint32_t b, uint32_t c)
{
    /* The 64-bit product divided bit by bit: the quotient fits 32 bits, so
       32 steps of compare and subtract give it, with none of the C library's
       64-bit division. */
    uint64_t rest = (uint64_t)a * b;
    uint32_t quotient = 0;
    for (int bit = 31; bit >= 0; bit--) {
        if ((rest >> bit) >= c) {
            rest -= (uint64_t)c << bit;
            quotient |= 1u << bit;
        }
    }
    return quotient;
}

int32_t FileFill(int32_t barWidth, uint32_t done, uint32_t total)
{
    if (total == 0 || barWidth <= 0)
        return 0;
    if (done >= total)
        return barWidth;
    return (int32_t)MulDivDown((uint32_t)barWidth, done, total);
}

void PercentText(int32_t fill, int32_t barWidth, char *out, size_t size)
{
    if (fill > barWidth)
        fill = barWidth;
    int percent = fill > 0 ? (int)MulDivDown((uint32_t)fill, 100, (uint32_t)barWidth) : 0;
    snprintf(out, size, "%d%%", percent);
}

/* Division rounding toward minus infinity, for the text's baseline. */
static int32_t FloorDiv(int32_t a, int32_t b)
{
    int32_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

BarParts LayoutBar(const PixelRect &bar, int32_t fill)
{
    BarParts parts = {};
    parts.frame = bar;
    int32_t bandTop = bar.top + 1;
    int32_t bandBottom = bar.bottom - 1;
    int32_t innerRight = bar.right - 1;

    int32_t unfilledStart = bar.left + 1;
    if (fill > 0) {
        parts.hasFilled = 1;
        /* Compared in 64 bits: fill may be anything a caller computed. */
        if ((int64_t)bar.left + fill >= innerRight) {
            parts.filled = {bar.left + 1, bandTop, innerRight, bandBottom};
            return parts;
        }
        unfilledStart = bar.left + fill;
        parts.filled = {bar.left + 1, bandTop, unfilledStart, bandBottom};
    }
    parts.hasUnfilled = 1;
    parts.unfilled = {unfilledStart, bandTop, innerRight, bandBottom};
    parts.textClip = {unfilledStart + kTextIndent, bandTop, innerRight, bandBottom};
    parts.textOrigin = {unfilledStart + kTextIndent, bandTop + FloorDiv(bandBottom - bandTop, 5)};
    return parts;
}

int ComposeSuggestion(const char *current, const char *programPath, char *out)
{
    size_t length = strlen(current);
    int written;
    if (length <= 1) {
        /* No usable current folder: propose a folder beside the installer. */
        PathParts parts;
        SplitPath(programPath, &parts);
        written = snprintf(out, kPathSize, "%s%syelk", parts.drive, parts.dir);
    } else if (strstr(current, "\\yelk") != nullptr) {
        written = snprintf(out, kPathSize, "%s", current);
    } else {
        written = snprintf(out, kPathSize, "%s%s", current,
                           current[length - 1] == '\\' ? "yelk" : "\\yelk");
    }
    if (written < 0 || written >= kPathSize) {
        /* A cut path would name some other folder: suggest nothing. */
        out[0] = '\0';
        return 0;
    }
    return 1;
}
