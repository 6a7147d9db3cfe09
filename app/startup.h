/*
 * Start-up decisions of WinMain kept apart so they can be tested: which shell
 * the platform has, and the optional 3-D control library, which is loaded
 * from the system folder only.
 */
#ifndef YELK_APP_STARTUP_H
#define YELK_APP_STARTUP_H

#include <windows.h>

/* 1 for a Windows 95-style shell: the version word's major version (low
   byte) exactly 4, or its minor version (second byte) 95 or more. */
int IsNewShell(DWORD version);

/* folder + "\" + name into out; 0 (out emptied) when it would not fit. */
int JoinLibraryPath(const char *folder, const char *name, char *out, int size);

/* Loads "Ctl3d32.dll" from folder, or from the system folder when folder is
   nullptr. With all three entry points it registers the instance and turns on
   automatic subclassing, and keeps the library; otherwise the library is freed.
   Returns the kept library, or nullptr. */
HMODULE LoadCtl3d(HINSTANCE instance, const char *folder);

/* Unregisters the instance and frees the library kept by LoadCtl3d, if any. */
void FreeCtl3d(HINSTANCE instance);

#endif
