/*
 * A DLL planted beside a program under a name the program loads by bare
 * name. When it is loaded, its entry point leaves a mark: it creates the file
 * named by the environment variable YELK_PLANT_MARK. Code of its own running
 * in the process is exactly what must not happen.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char mark[MAX_PATH];
        DWORD n = GetEnvironmentVariableA("YELK_PLANT_MARK", mark, sizeof mark);
        if (n > 0 && n < sizeof mark) {
            HANDLE file = CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, NULL);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }
    return TRUE;
}
