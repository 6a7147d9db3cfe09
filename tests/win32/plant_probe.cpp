/*
 * A small program that lies beside the planted DLLs: it loads one by bare
 * name, after the installer's own start-up routine when asked to.
 *   plant_probe.exe restricted|plain NAME
 * Exit code: 0 the DLL loaded, 1 it did not, 2 a wrong command line; the
 * routine's result (RestrictDllSearch) is added times 10 when it ran.
 */
#include <windows.h>

#include <cstring>

#include "app/startup.h"

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    int restricted = strcmp(argv[1], "restricted") == 0;
    if (!restricted && strcmp(argv[1], "plain") != 0)
        return 2;
    int applied = restricted ? (int)RestrictDllSearch() : 0;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(argv[2]);
    return applied * 10 + (library != nullptr ? 0 : 1);
}
