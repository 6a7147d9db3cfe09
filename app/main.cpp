/* Entry point of setup32.exe: for now it checks its own payload and says so. */
#include <windows.h>

#include "../common/platform.h"
#include "../common/session.h"
#include "../payload/container.h"
#include "../payload/extract.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    session.appInstance = instance;
    ResetInstall();
    char path[900];
    char text[1200];
    if (GetProgramPath(path, sizeof path) && PayloadCrc(path) == ExpectedPayloadCrc())
        wsprintfA(text, "Yelk v5.9 32bit Installation\n\nThe payload of %s is intact.", path);
    else
        wsprintfA(text, "Yelk v5.9 32bit Installation\n\nThe payload is damaged.");
    MessageBoxA(NULL, text, "Yelk", MB_OK | MB_ICONINFORMATION);
    return 0;
}
