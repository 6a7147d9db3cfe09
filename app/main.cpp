/*
 * Entry point of setup32.exe: the hidden main window that owns the wizard,
 * the process-wide services (COM, DDE, the 3-D control library on an old
 * shell), the message loop, and the finishing actions after it.
 */
#include <windows.h>
#include <objbase.h>

#include "common/ids.h"
#include "common/session.h"
#include "shell/progman.h"
#include "wizard/dialog.h"
#include "app/finish.h"
#include "app/startup.h"

enum {
    kCloseDelay = 50,  /* ms between the wizard's end and the main window's close */
    kRaiseWait = 1000  /* ms a second start waits for the first one's window */
};

static const char kClassName[] = "Yelk v5.9 32bit Installation";

/* Runs the wizard once and winds the program down 50 ms after it ends. */
static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case UM_SHOWWIZARD:
        if (DialogBoxParamA((HINSTANCE)session.appInstance, "INSTALL_DLG", window, InstallDlgProc,
                            0) == -1)
            MessageBoxA(nullptr, "Unable to display dialog", "System Error",
                        MB_ICONERROR | MB_SYSTEMMODAL);
        SetTimer(window, IDT_PUMP, kCloseDelay, nullptr);
        return 0;
    case WM_TIMER:
        /* Whatever the timer: the window's one timer is the close delay. */
        KillTimer(window, IDT_PUMP);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show)
{
    /* One installer at a time: two would write the same
       temporary member file. 16-bit Windows passes the earlier instance; on
       32-bit Windows a mutex named like the window class tells, held from
       here until this process ends. A second start raises the first one's
       window and ends with nothing done. */
    if (previous != nullptr || !ClaimSingleInstance(kClassName)) {
        RaiseRunningInstance(kClassName, kRaiseWait);
        return 0;
    }
    session.appInstance = instance;

    WNDCLASSA windowClass = {};
    windowClass.style = CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAINICON));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass))
        return 0;

    /* Zero-size, yet a shown top-level window: the owner of the wizard. */
    HWND window = CreateWindowExA(0, kClassName, kClassName, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                                  0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 0;
    session.mainWindow = window;
    ShowWindow(window, show);
    UpdateWindow(window);

    CoInitialize(nullptr);
    session.newShell = IsNewShell(GetVersion());
    if (!session.newShell)
        LoadCtl3d(instance, nullptr);
    DWORD ddeInstance = 0;
    DdeInitializeA(&ddeInstance, DdeCallback, 0, 0);
    session.ddeInstance = ddeInstance;
    session.installDone = 0;
    PostMessageA(window, UM_SHOWWIZARD, 0, 0);

    MSG message;
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    if (session.ddeInstance != 0)
        DdeUninitialize(session.ddeInstance);
    FreeCtl3d(instance);
    RunFinishingActions();
    CoUninitialize();
    return 0;
}
