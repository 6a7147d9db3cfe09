/*
 * What the Win32 platform layer offers beyond common/platform.h, for its
 * tests: the replace of the Windows 95 family, which runs on every version,
 * and the choice between it and MoveFileExA.
 */
#ifndef YELK_APP_PLATFORM_WIN32_H
#define YELK_APP_PLATFORM_WIN32_H

#include <windows.h>

/* MoveFileReplacing as Windows 95, 98 and Me do it, where MoveFileExA is not
   implemented: the file at to (if any) is renamed aside in its own folder,
   from is moved to to, and only then is the old file deleted; when that move
   fails the old file is put back. A folder or a read-only file at to is
   refused, as MoveFileExA refuses it. 1 on success. Uses only calls that
   every version has (MoveFileA, GetTempFileNameA, DeleteFileA). */
int MoveFileReplacingByRenames(const char *from, const char *to);

/* The replace MoveFileReplacing uses on the system whose GetVersion word is
   version: kernel32's MoveFileExA on the NT family; nullptr on Windows 95, 98
   and Me (the word's top bit set), which export it without implementing it
   and replace by renames. */
typedef BOOL(WINAPI *MoveFileExCall)(LPCSTR, LPCSTR, DWORD);
MoveFileExCall MoveFileExFor(DWORD version);

#endif
