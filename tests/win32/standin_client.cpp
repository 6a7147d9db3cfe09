/*
 * A stand-in for the client program in tests: it notes that it ran, and in
 * which folder, in "started.txt" in its working folder, then exits.
 */
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    HANDLE file = CreateFileA("started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, folder, length, &written, nullptr);
        CloseHandle(file);
    }
    return 0;
}
