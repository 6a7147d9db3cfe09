/*
 * Win32 implementation of the platform interface of common/platform.h: the file
 * system through kernel32 and the C library, the core's user-facing calls
 * against the wizard dialog. The three bar painters live in wizard/paint.cpp.
 */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <cstring>

#include "common/ids.h"
#include "common/messages.h"
#include "common/platform.h"
#include "common/session.h"
#include "wizard/trace.h"
#include "wizard/wizard.h"

/* ---- File system ---- */

FILE *OpenFileStream(const char *path, const char *mode)
{
    /* A file this run writes (the temporary member file, a destination) is
       its alone while open: another process, such as a second installer, may
       read it but cannot open it for writing, and an open that finds it
       already open for writing fails. A read stream shares as fopen does. */
    if (mode[0] != 'r' || mode[1] == '+' || (mode[1] != '\0' && mode[2] == '+'))
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

PathKindResult PathKind(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kPathNone;
    /* A junction or a symbolic link carries the reparse-point attribute
       (Windows 2000 and later; older versions have neither). */
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kPathSpecial;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathFolder : kPathFile;
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

int MoveFileTo(const char *from, const char *to)
{
    /* MoveFileA never replaces what stands at to, on every version. */
    return MoveFileA(from, to) != 0;
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
    /* CREATE_NEW fails on anything that stands at the name. The stream is
       made on the handle that created the file, so that no other file can
       take the name between the two; others may read it, not write it. */
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle((intptr_t)h, _O_BINARY);
    FILE *f = fd == -1 ? nullptr : _fdopen(fd, "wb");
    if (f == nullptr) {
        /* A descriptor without a stream is given up with its handle: this
           happens only when the C library is out of streams. */
        CloseHandle(h);
        DeleteFileA(path);
    }
    return f;
}

int FolderExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
