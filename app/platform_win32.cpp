/*
 * Win32 implementation of the platform interface of common/platform.h: the file
 * system through kernel32 and the C library, the core's user-facing calls
 * against the wizard dialog. The three bar painters live in wizard/paint.cpp.
 */
#include <windows.h>

#include <share.h>

#include <cstring>

#include "common/ids.h"
#include "common/messages.h"
#include "common/platform.h"
#include "common/session.h"
#include "app/platform_win32.h"
#include "wizard/trace.h"
#include "wizard/wizard.h"

/* ---- File system ---- */

FILE *OpenFileStream(const char *path, const char *mode)
{
    /* A file this run writes (the temporary member file, a destination) is
       its alone while open: another process, such as a second installer, may
       read it but cannot open it for writing, and an open that finds it
       already open for writing fails. A read stream shares as fopen does. */
    if (strpbrk(mode, "wa+") != nullptr)
        return _fsopen(path, mode, _SH_DENYWR);
    return fopen(path, mode);
}

int GetProgramPath(char *out, int size)
{
    if (size <= 0)
        return 0;
    DWORD n = GetModuleFileNameA((HMODULE)session.appInstance, out, (DWORD)size);
    /* A path cut off to fit the buffer would name another file. */
    if (n == 0 || n >= (DWORD)size) {
        out[0] = '\0';
        return 0;
    }
    return (int)n;
}

int GetTempFolder(char *out, int size)
{
    if (size <= 0)
        return 0;
    DWORD n = GetTempPathA((DWORD)size, out);
    /* GetTempPathA returns the size it needs when the buffer is too small. */
    if (n == 0 || n >= (DWORD)size) {
        out[0] = '\0';
        return 0;
    }
    return (int)n;
}

int PathExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int ClearAttributes(const char *path)
{
    return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0;
}

int ClearReadOnly(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    attributes &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

int DeleteFileAt(const char *path)
{
    return DeleteFileA(path) != 0;
}

int MoveFileReplacingByRenames(const char *from, const char *to)
{
    DWORD attributes = GetFileAttributesA(to);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return MoveFileA(from, to) != 0;
    /* Refused as MoveFileExA refuses them: a folder or a read-only file at to. */
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    /* The old file steps aside under a name of its own in its folder (made by
       the system's temporary-name call, then freed for the rename), the new
       one takes its place, and only then is the old one removed. */
    char folder[MAX_PATH];
    size_t length = strlen(to);
    if (length >= sizeof folder)
        return 0;
    memcpy(folder, to, length + 1);
    char *cut = strrchr(folder, '\\');
    if (cut == nullptr)
        strcpy(folder, ".");
    else if (cut == folder || cut[-1] == ':')
        cut[1] = '\0';   /* a file in a root folder */
    else
        cut[0] = '\0';
    char aside[MAX_PATH];
    if (!GetTempFileNameA(folder, "ynw", 0, aside))
        return 0;
    if (!DeleteFileA(aside) || !MoveFileA(to, aside)) {
        DeleteFileA(aside);
        return 0;
    }
    if (!MoveFileA(from, to)) {
        DWORD error = GetLastError();
        /* The old file goes back: the move failed, nothing was replaced. */
        MoveFileA(aside, to);
        SetLastError(error);
        return 0;
    }
    DeleteFileA(aside);
    return 1;
}

MoveFileExCall MoveFileExFor(DWORD version)
{
    /* Windows 95, 98 and Me export MoveFileExA but do not implement it: it
       always fails there, and they replace by renames. The version word's
       top bit tells them. Elsewhere MoveFileExA is looked up rather than
       imported, so that the import table holds nothing the oldest versions
       only stub. */
    if (version & 0x80000000u)
        return nullptr;
    return (MoveFileExCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA");
}

int MoveFileReplacing(const char *from, const char *to)
{
    /* Chosen once, on the first replace. */
    static int chosen;
    static MoveFileExCall moveFileEx;
    if (!chosen) {
        chosen = 1;
        moveFileEx = MoveFileExFor(GetVersion());
    }
    if (moveFileEx == nullptr)
        return MoveFileReplacingByRenames(from, to);
    /* The file at to is replaced only when the move itself succeeds; copying is
       allowed so that a move onto another volume works too. */
    return moveFileEx(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

int MakeFolder(const char *path)
{
    return CreateDirectoryA(path, NULL) != 0;
}

int RemoveFolder(const char *path)
{
    return RemoveDirectoryA(path) != 0;
}

/* ---- User-facing calls of the core ---- */

void *BeginWaitCursor()
{
    TraceMark("crc-begin");
    return SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void EndWaitCursor(void *previous)
{
    SetCursor((HCURSOR)previous);
    TraceMark("crc-end");
}

void ShowErrorBox(int number, const char *text)
{
    char caption[kErrorCaptionSize];
    FormatErrorCaption(caption, sizeof caption, number);
    MessageBoxA((HWND)session.wizardDialog, text, caption, MB_ICONERROR | MB_OK);
}

void SetStatusText(const char *text)
{
    TraceMark(strncmp(text, "Extracting", 10) == 0 ? "member-begin" : "status");
    if (HWND status = WizardControl(IDC_STATUS))
        SendMessageA(status, WM_SETTEXT, 0, (LPARAM)text);
}

/* Width of a wizard control: its window rectangle, or its client area when
   client is 1; 0 where there is no such control or no dialog. */
static int ControlWidth(int id, int client)
{
    HWND control = WizardControl(id);
    if (!control)
        return 0;
    RECT r;
    BOOL ok = client ? GetClientRect(control, &r) : GetWindowRect(control, &r);
    return ok ? (int)(r.right - r.left) : 0;
}

int FileBarWidth()
{
    return ControlWidth(IDC_FILEBAR, 1);
}

int OverallBarWidth()
{
    return ControlWidth(IDC_OVERALLBAR, 0);
}

/* ---- Files a run makes for itself ---- */

FILE *CreateNewFile(const char *path)
{
    /* CREATE_NEW fails on anything that stands at the name; the empty file
       made is then opened as the run's own. */
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    CloseHandle(h);
    FILE *f = OpenFileStream(path, "wb");
    if (f == nullptr)
        DeleteFileA(path);
    return f;
}

int FolderExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
