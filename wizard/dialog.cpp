/*
 * InstallDlgProc: page commands, the install start, the pump that runs the
 * extraction in slices between 25 ms timer ticks, the abort question, the
 * Program Manager group with its retry question, and the finish page.
 */
#include "wizard/dialog.h"

#include <cstdio>

#include "common/ids.h"
#include "common/messages.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/extract.h"
#include "payload/install.h"
#include "payload/progress.h"
#include "shell/progman.h"
#include "wizard/trace.h"
#include "wizard/wizard.h"

enum {
    kPumpPeriod = 25   /* ms between two extraction slices */
};

static const char kAbortQuestion[] = "Are you sure you want to abort the installation?";
static const char kWarningCaption[] = "Yelk Installation Warning";

static int IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

/* The folder text of control 152 into destDir, 299 characters at most. */
static void ReadFolderText(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_FOLDERTEXT, WM_GETTEXT, kPathSize, (LPARAM)session.destDir);
}

/* Message id in a box of the given style (the engine's own errors go
   through ShowError); the button pressed. */
static int AskError(HWND owner, ErrorId id, UINT style)
{
    char caption[kErrorCaptionSize];
    FormatErrorCaption(caption, sizeof caption, id);
    return MessageBoxA(owner, ErrorText(id), caption, style);
}

static void InitDialog(HWND dialog)
{
    session.wizardDialog = dialog;
    CheckDlgButton(dialog, IDC_MAKEBACKUPS, BST_CHECKED);
    CheckDlgButton(dialog, IDC_KEEPSETTINGS, BST_CHECKED);
    CheckDlgButton(dialog, IDC_CREATESHORTCUTS, BST_CHECKED);
    CheckDlgButton(dialog, IDC_OPENHELP, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_LAUNCHCLIENT, BST_UNCHECKED);
    InitWizardTexts(dialog);
    InitDefaultFolder(dialog);
    LayOutPages(dialog);
}

/* The wizard icon at the corner of control 120 on every page; the overall bar
   again while the progress page shows (its status line is visible then). */
static void Paint(HWND dialog)
{
    TraceMark("paint-begin");
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT place;
    GetWindowRect(GetDlgItem(dialog, IDC_ICONPLACE), &place);
    POINT corner = {place.left, place.top};
    ScreenToClient(dialog, &corner);
    HICON icon = LoadIconA((HINSTANCE)session.appInstance, MAKEINTRESOURCEA(IDI_WIZARDICON));
    DrawIcon(dc, corner.x, corner.y, icon);
    DestroyIcon(icon);
    if (IsWindowVisible(GetDlgItem(dialog, IDC_STATUS)))
        DrawScanProgress(dc, nullptr);
    EndPaint(dialog, &paint);
    TraceMark("paint-end");
}

/* Install on the options page: read the choices, show the progress page,
   make the folder, check and open the payload, start the pump. */
static void StartInstall(HWND dialog)
{
    TraceMark("install");
    ReadFolderText(dialog);
    session.makeBackups = IsChecked(dialog, IDC_MAKEBACKUPS);
    session.keepSettings = IsChecked(dialog, IDC_KEEPSETTINGS);
    session.createShortcuts = IsChecked(dialog, IDC_CREATESHORTCUTS);
    SetPage(dialog, kPageProgress);
    TraceMark("progress-page");
    /* The status, the empty bar and the folder; error [1] when it cannot be
       made, and the user is back on the options page. */
    if (PrepareInstallRun() != kDestDirReady) {
        TraceMark("run-started");
        SetPage(dialog, kPageFolder);
        return;
    }
    /* The folder stands: Abort takes the focus, then the payload is checked. */
    SetFocus(GetDlgItem(dialog, IDC_BUTTON2));
    int opened = OpenPayload();
    TraceMark("run-started");
    if (opened)
        PostMessageA(dialog, UM_PUMP, 0, 0);
    else
        EndDialog(dialog, 1);
}

static void PressButton1(HWND dialog)
{
    switch (session.page) {
    case kPageWelcome:
        SetPage(dialog, kPageLicence);
        break;
    case kPageLicence:
        SetPage(dialog, kPageFolder);
        break;
    case kPageFolder:
        StartInstall(dialog);
        break;
    default:   /* disabled on the progress page, hidden on the finish page */
        break;
    }
}

/* Cleans up a run that did not finish; a step that could not be undone is
   said with [7] (its journal stays, and the next run finishes the job). */
static void UndoRun()
{
    if (!CleanupInstall())
        ShowError(kErrorBackupMove);
}

/* Cancel, No, Abort or Finish, and closing the window on any page. */
static void PressButton2(HWND dialog)
{
    if (session.page == kPageFinish) {
        session.installDone = 1;
        session.openHelp = IsChecked(dialog, IDC_OPENHELP);
        session.launchClient = IsChecked(dialog, IDC_LAUNCHCLIENT);
        EndDialog(dialog, 1);
        return;
    }

    /* Set before the question opens, so no slice runs while it is shown. */
    session.abortRequested = 1;
    if (session.setupStream == nullptr) {
        EndDialog(dialog, 0);
        return;
    }
    if (MessageBoxA(dialog, kAbortQuestion, kWarningCaption, MB_ICONQUESTION | MB_YESNO) == IDNO) {
        session.abortRequested = 0;
        PostMessageA(dialog, UM_PUMP, 0, 0);
        return;
    }
    /* A re-pump tick still pending belongs to the abandoned run. */
    KillTimer(dialog, IDT_PUMP);
    UndoRun();
    ResetInstall();
    SetPage(dialog, kPageFolder);
}

static void Browse(HWND dialog)
{
    ReadFolderText(dialog);
    CharLowerA(session.destDir);
    if (BrowseForFolder(dialog)) {
        CharLowerA(session.destDir);
        SendDlgItemMessageA(dialog, IDC_FOLDERTEXT, WM_SETTEXT, 0, (LPARAM)session.destDir);
    }
}

/* After the last file: the group when asked for, retried while the user says
   Yes (the question belongs to the main window, so the wizard stays usable),
   then the finish page whatever came of it. */
static void FinishExtraction(HWND dialog)
{
    TraceMark("group-begin");
    if (session.createShortcuts) {
        while (!CreateProgmanGroup()) {
            if (AskError((HWND)session.mainWindow, kErrorProgmanGroup, MB_ICONQUESTION | MB_YESNO) != IDYES)
                break;
        }
    }
    TraceMark("group-end");
    SetPage(dialog, kPageFinish);
    TraceMark("finish-page");
    WriteTrace();
}

/* One UM_PUMP: 0 when it was ignored or the next slice is scheduled, else 1. */
static INT_PTR Pump(HWND dialog)
{
    /* While the abort question is open nothing runs; a tick that arrives after
       the run has ended finds no installer file and does nothing. */
    if (session.abortRequested || session.setupStream == nullptr)
        return 0;

    TraceMark("slice-begin", session.memberIndex);
    PumpResult result = PumpExtraction();
    TraceMark("slice-end", session.memberIndex);
    switch (result) {
    case kPumpMore:
        SetTimer(dialog, IDT_PUMP, kPumpPeriod, nullptr);
        TraceMark("timer-set");
        return 0;
    case kPumpIdle:
        return 0;
    case kPumpFinished:
        if (session.memberIndex == 0) {
            CleanupInstall();
            AskError(dialog, kErrorNoMember, MB_OK | MB_ICONERROR);
            EndDialog(dialog, 0);
        } else {
            FinishExtraction(dialog);
        }
        return 1;
    case kPumpBackupFailed:
        UndoRun();
        SetPage(dialog, kPageFolder);
        return 1;
    default:
        UndoRun();
        EndDialog(dialog, 0);
        return 1;
    }
}

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog);
        return 0;   /* SetPage has placed the focus */
    case WM_SHOWWINDOW:
        CenterWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDC_BUTTON1));
        return 0;
    case WM_PAINT:
        Paint(dialog);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BUTTON1:
            PressButton1(dialog);
            return 1;
        case IDC_BUTTON2:
            PressButton2(dialog);
            return 1;
        case IDC_BACK:
            if (session.page > kPageWelcome)
                SetPage(dialog, (WizardPage)(session.page - 1));
            return 0;
        case IDC_BROWSE:
            Browse(dialog);
            return 0;
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            PostMessageA(dialog, WM_COMMAND, IDC_BUTTON2, 0);
            return 1;
        }
        return 0;
    case WM_TIMER:
        if (wParam == IDT_PUMP) {
            TraceMark("timer-fired");
            KillTimer(dialog, IDT_PUMP);
            PostMessageA(dialog, UM_PUMP, 0, 0);
        }
        return 0;
    case UM_PUMP:
        TraceMark("pump-message");
        return Pump(dialog);
    }
    return 0;
}
