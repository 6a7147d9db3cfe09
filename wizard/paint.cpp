/*
 * The two progress bars the wizard paints itself over the rectangles of the
 * hidden frames 173 (overall, with its percentage) and 171 (per file): a black
 * frame, the filled part, a white unfilled part carrying the text in red.
 * The overall fill is worked out by the core (DrawScanProgress); these only draw.
 */
#include <windows.h>

#include <cstring>

#include "common/ids.h"
#include "common/platform.h"
#include "common/session.h"
#include "common/geometry.h"
#include "wizard/trace.h"
#include "wizard/wizard.h"

static const COLORREF kOverallFill = RGB(0, 70, 140);
static const COLORREF kFileFill = RGB(0, 200, 100);
static const COLORREF kTextColour = RGB(255, 0, 0);
static const COLORREF kTextBackground = RGB(255, 255, 255);

enum {
    kKeptControls = 4   /* wizard controls whose handles WizardControl keeps */
};

/* A handle WizardControl found, and what it was asked for. */
struct KeptControl {
    HWND dialog;    /* the wizard dialog it belongs to */
    int id;         /* its control id */
    HWND control;   /* the control */
};

static KeptControl keptControls[kKeptControls];
static int nextKept;   /* the entry a new handle replaces */

HWND WizardControl(int id)
{
    HWND dialog = (HWND)session.wizardDialog;
    if (!dialog)
        return nullptr;
    /* A kept handle still counts while it names a window that is that
       dialog's control with that id; a destroyed dialog fails the test. */
    for (KeptControl &kept : keptControls) {
        if (kept.control && kept.dialog == dialog && kept.id == id && IsWindow(kept.control) &&
            GetParent(kept.control) == dialog && GetDlgCtrlID(kept.control) == id)
            return kept.control;
    }
    HWND control = GetDlgItem(dialog, id);
    if (control) {
        keptControls[nextKept] = {dialog, id, control};
        nextKept = (nextKept + 1) % kKeptControls;
    }
    return control;
}

/* The window rectangle of wizard control `id` in screen pixels; 0 when there
   is no such control. */
static int ControlScreenRect(int id, RECT *r)
{
    HWND control = WizardControl(id);
    return control && GetWindowRect(control, r);
}

static void FillPart(HDC dc, const PixelRect &part, HBRUSH brush)
{
    RECT r = {part.left, part.top, part.right, part.bottom};
    FillRect(dc, &r, brush);
}

/* Paints one bar over `screen` (the control's window rectangle) filled `fill`
   pixels wide. dc: the caller's, left to it with its colours unchanged, or
   nullptr to use the wizard's own for the call. */
static void PaintBar(HDC dc, RECT screen, int32_t fill, COLORREF fillColour, int nearest,
                     const char *text)
{
    HWND dialog = (HWND)session.wizardDialog;
    MapWindowPoints(HWND_DESKTOP, dialog, (POINT *)&screen, 2);

    HDC own = nullptr;
    if (!dc) {
        own = GetDC(dialog);
        if (!own)
            return;
        dc = own;
    }

    BarParts parts = LayoutBar({screen.left, screen.top, screen.right, screen.bottom}, fill);
    FrameRect(dc, &screen, (HBRUSH)GetStockObject(BLACK_BRUSH));
    if (parts.hasFilled) {
        HBRUSH brush = CreateSolidBrush(nearest ? GetNearestColor(dc, fillColour) : fillColour);
        FillPart(dc, parts.filled, brush);
        DeleteObject(brush);
    }
    /* The per-file bar carries no text: nothing to draw past the white. */
    if (parts.hasUnfilled)
        FillPart(dc, parts.unfilled, (HBRUSH)GetStockObject(WHITE_BRUSH));
    if (parts.hasUnfilled && text[0] != '\0') {
        COLORREF oldText = SetTextColor(dc, kTextColour);
        COLORREF oldBackground = SetBkColor(dc, kTextBackground);
        RECT clip = {parts.textClip.left, parts.textClip.top, parts.textClip.right, parts.textClip.bottom};
        ExtTextOutA(dc, parts.textOrigin.x, parts.textOrigin.y, ETO_CLIPPED, &clip, text,
                    (UINT)strlen(text), nullptr);
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBackground);
    }
    if (own)
        ReleaseDC(dialog, own);
}

void PaintScanBar(PaintContext dc, int32_t fill)
{
    TraceMark("bar-begin", dc != nullptr);
    RECT screen;
    if (!ControlScreenRect(IDC_OVERALLBAR, &screen))
        return;
    char text[16];
    PercentText(fill, screen.right - screen.left, text, sizeof text);
    PaintBar((HDC)dc, screen, fill, kOverallFill, 1, text);
    TraceMark("bar-end");
}

void DrawFileProgress(PaintContext dc, uint32_t done, uint32_t total)
{
    TraceMark("bar-begin", dc != nullptr);
    RECT screen;
    if (!ControlScreenRect(IDC_FILEBAR, &screen))
        return;
    int32_t fill = FileFill(screen.right - screen.left, done, total);
    PaintBar((HDC)dc, screen, fill, kFileFill, 0, "");
    TraceMark("bar-end");
}

void WipeFileBar()
{
    HWND dialog = (HWND)session.wizardDialog;
    RECT r;
    if (!ControlScreenRect(IDC_FILEBAR, &r))
        return;
    MapWindowPoints(HWND_DESKTOP, dialog, (POINT *)&r, 2);
    TraceMark("wipe-begin");
    InvalidateRect(dialog, &r, TRUE);
    UpdateWindow(dialog);
    TraceMark("wipe-end");
}
