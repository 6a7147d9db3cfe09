/*
 * Reads a shell link back through IShellLinkA and IPersistFile, for the tests
 * that check the links the installer makes. COM must be initialised.
 */
#ifndef YELK_TESTS_SHELLLINK_H
#define YELK_TESTS_SHELLLINK_H

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

struct LinkInfo {
    bool loaded;
    std::string target, workingDir, iconFile;
};

inline LinkInfo ReadLink(const std::string &path)
{
    LinkInfo info{false, "", "", ""};
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return info;
    IPersistFile *file = nullptr;
    link->QueryInterface(IID_IPersistFile, (void **)&file);
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
        char text[MAX_PATH];
        int icon = -1;
        info.loaded = true;
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0)))
            info.target = text;
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)))
            info.workingDir = text;
        if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &icon)))
            info.iconFile = text;
    }
    file->Release();
    link->Release();
    return info;
}

#endif
