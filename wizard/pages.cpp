/*
 * The wizard's pages: every page's controls live in INSTALL_DLG from the start,
 * stacked far below the visible area in five groups; the layout moves each
 * group up to the page area once, and a page switch hides the other groups,
 * shows one and relabels the two command buttons.
 */
#include "wizard/wizard.h"

#include <cstring>

#include "common/ids.h"
#include "common/session.h"
#include "common/geometry.h"

enum {
    kLicenceBufferSize = 3000,   /* zeroed buffer the licence is copied into */
    kLicenceMaxBytes = 2900      /* most of the licence that is shown */
};

static const char kWizardCaption[] = "Yelk v5.9 32bit Installation";
static const char kWelcomeText[] =
    "Welcome to the Yelk installation program! This program will install "
    "Yelk v5.9 32bit on your computer.";
static const char kScanningText[] = "Scanning files...";

/* The five groups in layout order: the progress group takes the place of the
   option boxes, so it comes after the folder group. */
static const int kGroups[] = {IDC_WELCOME, IDC_LICENCEINTRO, IDC_FOLDERINTRO, IDC_STATUS, IDC_DONE1};

struct PageButtons {
    const char *button1;   /* caption of button 1; nullptr: hidden on this page */
    int button1Enabled;
    const char *button2;   /* caption of button 2, always shown and enabled */
    int focus;             /* control that gets the keyboard focus */
};

static const PageButtons kPageButtons[kPageCount] = {
    {"&Next >", 1, "Cancel", IDC_BUTTON1},
    {"&Yes", 1, "&No", IDC_LICENCETEXT},
    {"&Install", 1, "Cancel", IDC_BUTTON1},
    {"&Install", 0, "Abort", IDC_BUTTON2},
    {nullptr, 0, "&Finish", IDC_BUTTON2},
};

static PixelRect ToPixelRect(const RECT &r)
{
    return {r.left, r.top, r.right, r.bottom};
}

/* A control's window rectangle in the dialog's client pixels. */
static RECT ClientRectOf(HWND dialog, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, (POINT *)&r, 2);
    return r;
}

void CenterWindow(HWND window)
{
    RECT desktop, r;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &r);
    PixelPoint p = CenterPosition(ToPixelRect(desktop), r.right - r.left, r.bottom - r.top);
    SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void StackGroup(HWND dialog, int base)
{
    HWND baseControl = GetDlgItem(dialog, base);
    if (!baseControl)
        return;
    RECT baseRect = ClientRectOf(dialog, baseControl);
    RECT client;
    GetClientRect(dialog, &client);
    /* The options' top, read now: the folder group already stands on its page. */
    int32_t optionsTop = baseRect.top;
    if (HWND options = GetDlgItem(dialog, IDC_MAKEBACKUPS))
        optionsTop = ClientRectOf(dialog, options).top;

    PixelPoint shift;
    GroupShift(base, ToPixelRect(baseRect), client.right - client.left, optionsTop, &shift);
    for (int id = base;; id++) {
        HWND control = GetDlgItem(dialog, id);
        if (!control)
            break;
        RECT r = ClientRectOf(dialog, control);
        SetWindowPos(control, nullptr, r.left - shift.x, r.top - shift.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
}

void ShowGroup(HWND dialog, int base, int show)
{
    for (int id = base;; id++) {
        HWND control = GetDlgItem(dialog, id);
        if (!control)
            break;
        if (id == IDC_FILEBAR || id == IDC_OVERALLBAR)
            continue;   /* the bars' frames only lend their rectangles */
        if (show) {
            EnableWindow(control, TRUE);
            ShowWindow(control, SW_SHOWNORMAL);
        } else {
            ShowWindow(control, SW_HIDE);
            EnableWindow(control, FALSE);
        }
    }
}

void InvalidateControl(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return;
    RECT r;
    GetWindowRect(control, &r);
    POINT corner = {r.left, r.top};
    ScreenToClient(dialog, &corner);
    RECT area = {corner.x, corner.y, corner.x + (r.right - r.left), corner.y + (r.bottom - r.top)};
    InvalidateRect(dialog, &area, TRUE);
}

/* Hides every group but `shown`, then shows that one. */
static void ShowOnlyGroup(HWND dialog, int shown)
{
    for (int base : kGroups)
        if (base != shown)
            ShowGroup(dialog, base, 0);
    ShowGroup(dialog, shown, 1);
}

static void HideAndDisable(HWND control)
{
    ShowWindow(control, SW_HIDE);
    EnableWindow(control, FALSE);
}

void LayOutPages(HWND dialog)
{
    for (int base : kGroups)
        StackGroup(dialog, base);
    for (int base : kGroups)
        ShowGroup(dialog, base, 0);
    SetPage(dialog, kPageWelcome);
}

void SetPage(HWND dialog, WizardPage page)
{
    if (page < kPageWelcome || page >= kPageCount)
        return;
    session.page = page;
    session.overallFill = 0;
    SendDlgItemMessageA(dialog, IDC_STATUS, WM_SETTEXT, 0, (LPARAM)kScanningText);
    InvalidateControl(dialog, IDC_OVERALLBAR);
    InvalidateControl(dialog, IDC_FILEBAR);

    switch (page) {
    case kPageWelcome:
        ShowOnlyGroup(dialog, IDC_WELCOME);
        break;
    case kPageLicence:
        ShowOnlyGroup(dialog, IDC_LICENCEINTRO);
        break;
    case kPageFolder:
        ShowOnlyGroup(dialog, IDC_FOLDERINTRO);
        break;
    case kPageProgress:
        /* The folder lines, frame and text stay as page 2 left them; Browse
           stays in view but greyed; the options make room for the bars. */
        ShowGroup(dialog, IDC_WELCOME, 0);
        ShowGroup(dialog, IDC_LICENCEINTRO, 0);
        ShowWindow(GetDlgItem(dialog, IDC_BROWSE), SW_SHOWNORMAL);
        EnableWindow(GetDlgItem(dialog, IDC_BROWSE), FALSE);
        for (int id = IDC_OPTIONSLABEL; id <= IDC_INSTALLHINT; id++)
            HideAndDisable(GetDlgItem(dialog, id));
        ShowGroup(dialog, IDC_DONE1, 0);
        ShowGroup(dialog, IDC_STATUS, 1);
        break;
    case kPageFinish:
        MessageBeep(0);
        ShowOnlyGroup(dialog, IDC_DONE1);
        break;
    case kPageCount:
        break;
    }

    HideAndDisable(GetDlgItem(dialog, IDC_BACK));

    const PageButtons &buttons = kPageButtons[page];
    HWND button1 = GetDlgItem(dialog, IDC_BUTTON1);
    if (buttons.button1) {
        SetWindowTextA(button1, buttons.button1);
        ShowWindow(button1, SW_SHOWNORMAL);
        EnableWindow(button1, buttons.button1Enabled);
    } else {
        HideAndDisable(button1);
    }
    HWND button2 = GetDlgItem(dialog, IDC_BUTTON2);
    SetWindowTextA(button2, buttons.button2);
    ShowWindow(button2, SW_SHOWNORMAL);
    EnableWindow(button2, TRUE);

    SetFocus(GetDlgItem(dialog, buttons.focus));
    UpdateWindow(dialog);
}

void InitWizardTexts(HWND dialog)
{
    SetWindowTextA(dialog, kWizardCaption);
    SendDlgItemMessageA(dialog, IDC_WELCOME, WM_SETTEXT, 0, (LPARAM)kWelcomeText);

    HMODULE module = (HMODULE)session.appInstance;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_LICENCE), (LPCSTR)RT_RCDATA);
    if (!found)
        return;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return;
    const char *licence = (const char *)LockResource(loaded);
    if (!licence)
        return;
    DWORD size = SizeofResource(module, found);

    /* Bytes 2900 onward stay zero, so the text always ends within the buffer. */
    char text[kLicenceBufferSize] = {};
    for (DWORD i = 0; i < size && i < kLicenceMaxBytes && licence[i] != '\0'; i++)
        text[i] = licence[i];
    if (char *end = strstr(text, "***"))
        *end = '\0';
    SendDlgItemMessageA(dialog, IDC_LICENCETEXT, WM_SETTEXT, 0, (LPARAM)text);
}
