/*
 * The DLL search order, the one-installer-at-a-time test, the shell decision
 * and the 3-D control library. The library is taken only from the system
 * folder by its full path: a DLL of that name lying beside a downloaded
 * setup32.exe is never loaded.
 */
#include "app/startup.h"

#include <cstring>

typedef BOOL(WINAPI *Ctl3dCall)(HINSTANCE);
typedef BOOL(WINAPI *SetDefaultDllDirectoriesCall)(DWORD);
typedef BOOL(WINAPI *SetDllDirectoryCall)(LPCSTR);

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

static HANDLE instanceMutex;        /* held from the claim to the exit */
static HMODULE ctl3dLibrary;        /* non-null only while registered */
static Ctl3dCall ctl3dUnregister;   /* its Ctl3dUnregister entry point */

DllSearch RestrictDllSearch(ProcLookup lookup)
{
    /* An installer runs from the folder it was downloaded into. Windows looks
       there first for a DLL that the program or a system DLL loads by bare
       name, so a file named like a DLL that some system component loads late
       would run inside the installer. */
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return kDllSearchUnchanged;
    SetDefaultDllDirectoriesCall setDefault =
        (SetDefaultDllDirectoriesCall)(void *)lookup(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return kDllSearchSystemOnly;
    /* Without it, the empty string at least takes the current folder out. */
    SetDllDirectoryCall setDirectory =
        (SetDllDirectoryCall)(void *)lookup(kernel, "SetDllDirectoryA");
    if (setDirectory != nullptr && setDirectory(""))
        return kDllSearchNoCurrent;
    return kDllSearchUnchanged;
}

int ClaimSingleInstance(const char *name)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr)
        return 1;   /* no test possible: run, as when none is running */
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return 0;
    }
    instanceMutex = mutex;
    return 1;
}

void RaiseRunningInstance(const char *className, int waitMs)
{
    /* The first installer may hold the name a moment before its window
       exists; give it that moment, never more. */
    HWND existing = FindWindowA(className, nullptr);
    for (int waited = 0; existing == nullptr && waited < waitMs; waited += 50) {
        Sleep(50);
        existing = FindWindowA(className, nullptr);
    }
    if (existing == nullptr)
        return;
    /* The main window has no size; what the user sees is the window it owns
       that was last active: the wizard, or a message box over it. */
    HWND shown = GetLastActivePopup(existing);
    if (shown == nullptr)
        shown = existing;
    BringWindowToTop(existing);
    if (shown != existing)
        BringWindowToTop(shown);
    SetForegroundWindow(shown);
}

int IsNewShell(DWORD version)
{
    unsigned major = version & 0xFF;
    unsigned minor = (version >> 8) & 0xFF;
    return major == 4 || minor >= 95;
}

int JoinLibraryPath(const char *folder, const char *name, char *out, int size)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    if (folderLength + 1 + nameLength + 1 > (size_t)size) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    memcpy(out, folder, folderLength);
    out[folderLength] = '\\';
    memcpy(out + folderLength + 1, name, nameLength + 1);
    return 1;
}

HMODULE LoadCtl3d(HINSTANCE instance, const char *folder)
{
    /* First of all: no "cannot find the file" box when
       the library is absent. The mode stays for the rest of the run, also
       when the system folder cannot be looked up and nothing is loaded. */
    SetErrorMode(SEM_NOOPENFILEERRORBOX);

    char systemFolder[MAX_PATH];
    if (folder == nullptr) {
        UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return nullptr;
        folder = systemFolder;
    }
    char path[MAX_PATH];
    if (!JoinLibraryPath(folder, "Ctl3d32.dll", path, sizeof path))
        return nullptr;

    HMODULE library = LoadLibraryA(path);
    if (library == nullptr)
        return nullptr;
    Ctl3dCall registerCall = (Ctl3dCall)(void *)GetProcAddress(library, "Ctl3dRegister");
    Ctl3dCall unregisterCall = (Ctl3dCall)(void *)GetProcAddress(library, "Ctl3dUnregister");
    Ctl3dCall subclassCall = (Ctl3dCall)(void *)GetProcAddress(library, "Ctl3dAutoSubclass");
    if (registerCall == nullptr || unregisterCall == nullptr || subclassCall == nullptr) {
        FreeLibrary(library);
        return nullptr;
    }
    registerCall(instance);
    subclassCall(instance);
    ctl3dLibrary = library;
    ctl3dUnregister = unregisterCall;
    return library;
}

void FreeCtl3d(HINSTANCE instance)
{
    if (ctl3dLibrary == nullptr)
        return;
    if (ctl3dUnregister != nullptr)
        ctl3dUnregister(instance);
    FreeLibrary(ctl3dLibrary);
    ctl3dLibrary = nullptr;
    ctl3dUnregister = nullptr;
}
