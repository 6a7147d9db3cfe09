/*
 * Start-up decisions kept apart so they can be tested: the DLL search order
 * the process keeps from its first instruction, whether another installer
 * runs already, which shell the platform has, and the optional 3-D control
 * library, which is loaded from the system folder only.
 */
#ifndef YELK_APP_STARTUP_H
#define YELK_APP_STARTUP_H

#include <windows.h>

/* What RestrictDllSearch could do on this system. */
enum DllSearch {
    kDllSearchUnchanged = 0,   /* neither call exists (Windows 95 to 2000, XP before SP1) */
    kDllSearchNoCurrent = 1,   /* SetDllDirectoryA(""): the current folder left out */
    kDllSearchSystemOnly = 2   /* SetDefaultDllDirectories: the system folder alone */
};

/* How RestrictDllSearch finds kernel32's entry points: GetProcAddress, or a
   test's stand-in that hides some of them. */
typedef FARPROC(WINAPI *ProcLookup)(HMODULE, LPCSTR);

/* Narrows where a DLL loaded by bare name may come from, for the rest of the
   process: the system folder only where kernel32 has SetDefaultDllDirectories
   (Windows 8 and later; Vista and 7 with update KB2533623), else without the
   current folder where it has SetDllDirectoryA (XP SP1 and later). Both are
   looked up at run time, so the program still loads where they are missing.
   Called first of all, before anything can load a DLL late. */
DllSearch RestrictDllSearch(ProcLookup lookup = GetProcAddress);

/* 1 when this is the only installer running: the named mutex was made here
   and is kept until the process ends (called once, at the start). 0 when it
   exists already, held by another installer. */
int ClaimSingleInstance(const char *name);

/* Finds the running installer's top-level window of that class (waiting up
   to waitMs for it to appear) and brings it, and the window it shows, to the
   top and to the foreground. */
void RaiseRunningInstance(const char *className, int waitMs);

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
