/*
 * versionprobe: prints the Windows version as GetVersion gives it to this
 * program. It carries setup32.exe's own manifest, and the end-to-end suite runs
 * it under the file name setup32.exe, so Wine tells it what it tells the
 * installer (per-program version settings go by file name; the manifest's
 * supported systems decide whether Windows 10 is reported as 10.0 or 6.2).
 *
 * Output: "version MAJOR.MINOR 9x|nt" (9x when the platform bit marks the
 * Windows 95 family).
 */
#include <windows.h>

#include <cstdio>

int main()
{
    DWORD version = GetVersion();
    printf("version %u.%u %s\n", (unsigned)LOBYTE(LOWORD(version)),
           (unsigned)HIBYTE(LOWORD(version)), (version & 0x80000000u) ? "9x" : "nt");
    return 0;
}
