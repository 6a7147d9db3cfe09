/*
 * The finishing actions: uninstall values (new shell only), the desktop link
 * through the shell-link object, the ignore list in yelk.ini, then the client
 * and its help file when the finish page asked for them.
 */
#include "app/finish.h"

#include <objbase.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "common/path.h"
#include "common/session.h"

static const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Yelk";
static const char kIgnoreList[] =
    "*.exe,*.com,*.bat,*.dll,*.ini,*.yks,*.vbs,*.js,*.pif,*.scr,*.lnk,*.pl,*.shs,*.htm,*.html";
static const int kHelpContext = 10;   /* the help file's start topic */

/* The shell-link class and the two interfaces, spelled out so that no GUID
   library is needed. */
static const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

int WriteUninstallValue(const char *name, const char *text)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, (LPSTR) "", 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text,
                                 (DWORD)strlen(text) + 1);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int BuildLinkPath(const char *desktop, char *out)
{
    static const char kLinkName[] = "Yelk32.lnk";
    size_t length = strlen(desktop);
    /* A root such as c:\ has its backslash already; a one-character path
       gets none. */
    int separator = length > 1 && desktop[length - 1] != '\\';
    if (length + separator + strlen(kLinkName) + 1 > kLinkPathSize) {
        out[0] = '\0';
        return 0;
    }
    memcpy(out, desktop, length);
    if (separator)
        out[length++] = '\\';
    strcpy(out + length, kLinkName);
    return 1;
}

HRESULT CreateDesktopShortcut(const char *target)
{
    PathParts parts;
    SplitPath(target, &parts);
    if (parts.name[0] == '\0')
        return -1;

    LPITEMIDLIST desktopItem = nullptr;
    HRESULT status = SHGetSpecialFolderLocation((HWND)session.mainWindow, CSIDL_DESKTOP,
                                                &desktopItem);
    if (FAILED(status) || desktopItem == nullptr)
        return -1;
    char desktop[MAX_PATH];
    BOOL found = SHGetPathFromIDListA(desktopItem, desktop);
    CoTaskMemFree(desktopItem);
    char linkPath[kLinkPathSize];
    if (!found || !BuildLinkPath(desktop, linkPath))
        return -1;

    IShellLinkA *link = nullptr;
    status = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA,
                              (void **)&link);
    if (FAILED(status))
        return status;
    IPersistFile *file = nullptr;
    status = link->QueryInterface(kPersistFile, (void **)&file);
    if (FAILED(status)) {
        link->Release();
        return status;
    }
    link->SetPath(target);
    link->SetWorkingDirectory(session.destDir);

    WCHAR widePath[kLinkPathSize];
    MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kLinkPathSize);
    status = file->Save(widePath, TRUE);
    file->Release();
    link->Release();
    return status;
}

void RunFinishingActions()
{
    char path[kLongTextSize];
    if (session.installDone) {
        if (session.newShell) {
            WriteUninstallValue("DisplayName", "Yelk");
            snprintf(path, sizeof path, "\"%s\\yelk32.exe\" -uninstall", session.destDir);
            WriteUninstallValue("UninstallString", path);
        }
        snprintf(path, sizeof path, "%s\\yelk32.exe", session.destDir);
        CreateDesktopShortcut(path);
    }

    /* The ignore list goes into an existing settings file only, and only in
       a folder that was set: with destDir still empty the path would be
       \yelk.ini at the current drive's root, a file the installer never chose. */
    snprintf(path, sizeof path, "%s\\yelk.ini", session.destDir);
    if (session.destDir[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        WritePrivateProfileStringA("text", "ignore", kIgnoreList, path);

    if (session.launchClient) {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        snprintf(path, sizeof path, "%s\\yelk32.exe", session.destDir);
        ShellExecuteA(nullptr, "open", path, "", session.destDir, SW_SHOW);
        SetErrorMode(0);
    }
    if (session.openHelp) {
        snprintf(path, sizeof path, "%s\\yelk.hlp", session.destDir);
        WinHelpA(nullptr, path, HELP_CONTEXT, kHelpContext);
    }
}
