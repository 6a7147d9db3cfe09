/*
 * The destination folder: the default the wizard proposes, and the folder
 * chooser, the system's old-style file-open dialog run on template 1537 with a
 * hook that turns its current folder into a suggestion in edit 102.
 */
#include "wizard/wizard.h"

#include <commdlg.h>
#include <direct.h>

#include <cstdio>
#include <cstring>

#include "common/ids.h"
#include "common/path.h"
#include "common/session.h"
#include "common/geometry.h"

static const char kChooserTitle[] = "Yelk Select Folder";
static const char kDummyFileName[] = "JUNK!";   /* also the template's text of 1152 */

int firstBrowse = 1;

/* The folder field's text at the last OK: the chooser's answer. Kept apart
   from destDir, which every navigation overwrites with a fresh suggestion. */
static char chosenFolder[kPathSize];

void InitDefaultFolder(HWND dialog)
{
    char text[kLongTextSize];
    DWORD length = GetModuleFileNameA((HMODULE)session.appInstance, text, sizeof text);
    text[length < sizeof text ? length : sizeof text - 1] = '\0';
    CharLowerA(text);
    text[3] = '\0';   /* the drive root, such as c:\ */

    if (GetDriveTypeA(text) != DRIVE_FIXED) {
        /* Not a fixed disk (floppy, CD, network): use the Windows folder's drive,
           and make it current so that nothing keeps the removable one busy. */
        char windows[kLongTextSize];
        UINT got = GetWindowsDirectoryA(windows, sizeof windows);
        if (got > 0 && got < sizeof windows) {
            PathParts parts;
            SplitPath(windows, &parts);
            if (parts.drive[0] != '\0') {
                snprintf(text, sizeof text, "%s\\", parts.drive);
                CharLowerA(text);
                _chdrive(text[0] - 'a' + 1);
            }
        }
    }
    strcat(text, "Yelk");
    SetDlgItemTextA(dialog, IDC_FOLDERTEXT, text);
}

int BrowseForFolder(HWND owner)
{
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    /* The size of the original request layout, without the later fields. */
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = owner;
    request.hInstance = (HINSTANCE)session.appInstance;
    request.lpstrInitialDir = session.destDir;
    request.lpstrTitle = kChooserTitle;
    request.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
    request.lpfnHook = FileHook;
    request.lpTemplateName = MAKEINTRESOURCEA(IDD_FOLDERCHOOSER);

    if (firstBrowse) {
        /* The first time, start at the root of the destination drive. */
        if (strlen(session.destDir) > 3)
            session.destDir[3] = '\0';
        firstBrowse = 0;
    }

    chosenFolder[0] = '\0';
    if (!GetOpenFileNameA(&request))
        return 0;
    memcpy(session.destDir, chosenFolder, sizeof chosenFolder);
    return 1;
}

UINT_PTR CALLBACK FileHook(HWND chooser, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_SHOWWINDOW) {
        SuggestFolder(chooser);
        HWND field = GetDlgItem(chooser, IDC_CHOOSERFOLDER);
        SetFocus(field);
        /* Select all, then drop the selection: the caret ends after the text. */
        SendMessageA(field, EM_SETSEL, 0, -1);
        SendMessageA(field, EM_SETSEL, (WPARAM)-1, -1);
        SendMessageA(field, EM_SCROLLCARET, 0, 0);
        CenterWindow(chooser);
    } else if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        int code = HIWORD(wParam);
        if (id == IDOK) {
            GetDlgItemTextA(chooser, IDC_CHOOSERFOLDER, session.destDir, kPathSize);
            memcpy(chosenFolder, session.destDir, sizeof chosenFolder);
            /* The system dialog closes on OK only for a plain file name; it may
               have put its "*.*" pattern into the hidden name box meanwhile. */
            SetDlgItemTextA(chooser, IDC_CHOOSERFILENAME, kDummyFileName);
        } else if (id == IDC_CHOOSERCURDIR && code == EN_CHANGE) {
            SuggestFolder(chooser);
        } else if ((id == IDC_CHOOSERDIRLIST || id == IDC_CHOOSERDRIVES) &&
                   (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
            SuggestFolder(chooser);
        }
    }
    return 0;
}

void SuggestFolder(HWND chooser)
{
    char current[kPathSize];
    GetDlgItemTextA(chooser, IDC_CHOOSERCURDIR, current, sizeof current);
    CharLowerA(current);
    char program[kPathSize];
    DWORD length = GetModuleFileNameA((HMODULE)session.appInstance, program, sizeof program);
    program[length < sizeof program ? length : sizeof program - 1] = '\0';

    /* A folder too deep for "\yelk" to fit gets no suggestion: an empty field. */
    ComposeSuggestion(current, program, session.destDir);
    SetDlgItemTextA(chooser, IDC_CHOOSERFOLDER, session.destDir);
}
