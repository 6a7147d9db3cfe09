/*
 * The shell decision and the 3-D control library. The library is taken only
 * from the system folder by its full path: a DLL of that name lying beside a
 * downloaded setup32.exe is never loaded.
 */
#include "startup.h"

#include <cstring>

typedef BOOL(WINAPI *Ctl3dCall)(HINSTANCE);

static HMODULE ctl3dLibrary;        /* non-null only while registered */
static Ctl3dCall ctl3dUnregister;   /* its Ctl3dUnregister entry point */

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

    /* No "cannot find the file" box when the library is absent; the mode
       stays for the rest of the run. */
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
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
