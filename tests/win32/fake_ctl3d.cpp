/*
 * A stand-in 3-D control library for tests. It logs each call with its
 * argument; built with all three entry points, or (YELK_CTL3D_PARTIAL)
 * without Ctl3dAutoSubclass.
 */
#include <windows.h>

#include <cstdio>
#include <cstring>

static char callLog[256];

static void Note(const char *what, HINSTANCE instance)
{
    size_t used = strlen(callLog);
    snprintf(callLog + used, sizeof callLog - used, "%s(%p) ", what, (void *)instance);
}

extern "C" {

__declspec(dllexport) const char *WINAPI CallLog() { return callLog; }

__declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE instance)
{
    Note("Register", instance);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE instance)
{
    Note("Unregister", instance);
    return TRUE;
}

#ifndef YELK_CTL3D_PARTIAL
__declspec(dllexport) BOOL WINAPI Ctl3dAutoSubclass(HINSTANCE instance)
{
    Note("AutoSubclass", instance);
    return TRUE;
}
#endif
}
