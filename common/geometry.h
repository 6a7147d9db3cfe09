/*
 * The wizard's portable arithmetic: where a window is centred, how far a control
 * group moves to its page place, how a progress bar splits into frame, filled
 * and unfilled parts and where its text goes, and the folder the chooser
 * suggests. Pure functions over plain values; the Win32 routines call them.
 */
#ifndef YELK_COMMON_GEOMETRY_H
#define YELK_COMMON_GEOMETRY_H

#include <cstddef>
#include <cstdint>

/* A rectangle in pixels; right and bottom are exclusive, as in Win32. */
struct PixelRect {
    int32_t left, top, right, bottom;
};

struct PixelPoint {
    int32_t x, y;
};

/* Top-left corner that centres a width x height window on the desktop, kept
   10 pixels off the desktop's right and bottom edges, and at 1 where it would
   start above or left of 0. Halvings truncate toward zero. */
PixelPoint CenterPosition(const PixelRect &desktop, int32_t width, int32_t height);

/* How far group `base` moves (subtracted from every member's client position)
   so that its base control, now at `baseRect` in client pixels, lands on its
   page place. clientWidth is the dialog's client width; optionsTop the client
   top of option box 156, used by the progress group. 0 for an unknown base. */
int GroupShift(int base, const PixelRect &baseRect, int32_t clientWidth, int32_t optionsTop,
               PixelPoint *shift);

/* a x b / c rounded down, the product formed in 64 bits; c > 0, and the
   quotient must fit 32 bits. */
uint32_t MulDivDown(uint32_t a, uint32_t b, uint32_t c);

/* Filled width of the per-file bar: barWidth x done / total formed in 64 bits,
   0 when total is 0, never more than barWidth. */
int32_t FileFill(int32_t barWidth, uint32_t done, uint32_t total);

/* Text of the overall bar: "37%" from fill x 100 / barWidth (a fill past the
   width counts as the width), "0%" when the bar is empty or has no width.
   out holds at least 12 bytes. */
void PercentText(int32_t fill, int32_t barWidth, char *out, size_t size);

/* One painted bar over a control at `bar` (client pixels) filled `fill` pixels
   wide: a frame on `bar`, the filled part, the unfilled part, and the text
   drawn into the unfilled part only. */
struct BarParts {
    PixelRect frame;
    int hasFilled;
    PixelRect filled;
    int hasUnfilled;
    PixelRect unfilled;
    PixelRect textClip;       /* valid when hasUnfilled */
    PixelPoint textOrigin;    /* valid when hasUnfilled */
};
BarParts LayoutBar(const PixelRect &bar, int32_t fill);

/* The chooser's suggestion for its current folder `current` (already lower
   case), into out (kPathSize bytes):
   - an empty or one-character folder: the installer's own folder, taken from
     programPath, followed by "yelk";
   - a folder whose text holds "\yelk" anywhere: the folder itself;
   - otherwise the folder followed by "yelk" or "\yelk".
   Returns 1, or 0 with out empty when the suggestion would not fit in 299
   characters. */
int ComposeSuggestion(const char *current, const char *programPath, char *out);

#endif
