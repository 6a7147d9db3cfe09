/*
 * Runs InitDefaultFolder once from wherever it was started and writes what it
 * found into the file named by its argument: "<folder text>|<drive of the
 * current folder before>|<and after>". The folder test starts it from a
 * drive mapped as a CD-ROM.
 */
#include <windows.h>

#include <cctype>
#include <cstdio>

#include "common/ids.h"
#include "common/session.h"
#include "wizard/wizard.h"

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    session.appInstance = GetModuleHandleA(nullptr);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, window, (HMENU)IDC_FOLDERTEXT,
                    GetModuleHandleA(nullptr), nullptr);
    char before[MAX_PATH], after[MAX_PATH], text[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    InitDefaultFolder(window);
    GetCurrentDirectoryA(sizeof after, after);
    GetDlgItemTextA(window, IDC_FOLDERTEXT, text, sizeof text);
    FILE *out = fopen(argv[1], "wb");
    if (!out)
        return 1;
    fprintf(out, "%s|%c|%c", text, toupper(before[0]), toupper(after[0]));
    fclose(out);
    return 0;
}
