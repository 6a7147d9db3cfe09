/*
 * Driving the wizard from another thread or process as a user would: find
 * its window by caption, tell the page by which controls are visible, press
 * buttons by posting commands, answer message boxes and note what they said.
 */
#ifndef YELK_TESTS_DRIVE_H
#define YELK_TESTS_DRIVE_H

#include <windows.h>

#include <string>

#include "common/ids.h"

namespace drive {

const char kWizardCaption[] = "Yelk v5.9 32bit Installation";
const int kBoxTextId = 0xFFFF;   /* the text of a system message box */

/* Waits about ms, serving this thread's messages meanwhile (a window of the
   driver may be sent messages, such as the broadcasts of a DDE connect). */
inline void Pause(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        DWORD waited = GetTickCount() - start;
        if (waited >= ms)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - waited, QS_ALLINPUT);
    }
}

/* Polls until ready() holds or ms pass; true when it held. */
template <typename Ready>
bool WaitUntil(Ready ready, int ms = 10000)
{
    for (int waited = 0;; waited += 5) {
        if (ready())
            return true;
        if (waited >= ms)
            return false;
        Pause(5);
    }
}

inline HWND FindDialog(const char *caption)
{
    return FindWindowA("#32770", caption);
}

inline HWND WaitDialog(const char *caption, int ms = 10000)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(caption)) != nullptr; }, ms);
    return found;
}

inline bool Visible(HWND dialog, int id)
{
    return IsWindowVisible(GetDlgItem(dialog, id)) != 0;
}

/* 0..4 by the group on screen; -1 when none (or the dialog is gone). */
inline int VisiblePage(HWND dialog)
{
    if (!IsWindow(dialog))
        return -1;
    if (Visible(dialog, IDC_WELCOME))
        return 0;
    if (Visible(dialog, IDC_LICENCEINTRO))
        return 1;
    if (Visible(dialog, IDC_STATUS))
        return 3;
    if (Visible(dialog, IDC_FOLDERINTRO))
        return 2;
    if (Visible(dialog, IDC_DONE1))
        return 4;
    return -1;
}

inline bool WaitPage(HWND dialog, int page, int ms = 10000)
{
    return WaitUntil([&] { return VisiblePage(dialog) == page; }, ms);
}

/* A click on a dialog button, as the button itself reports it. */
inline void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

/* The close box of the window's caption. */
inline void Close(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

inline void SetCheck(HWND dialog, int id, bool on)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

inline std::string ControlText(HWND dialog, int id)
{
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

struct Box {
    bool seen = false;
    std::string text;
    HWND owner = nullptr;
};

/* Waits for the message box with this caption, notes it and presses answer
   (IDOK, IDYES, IDNO). */
inline Box Answer(const char *caption, int answer, int ms = 10000)
{
    Box box;
    HWND window = WaitDialog(caption, ms);
    if (window == nullptr)
        return box;
    /* The text is set while the box initialises; wait until it shows. */
    WaitUntil([&] { return IsWindowVisible(window) != 0; }, 2000);
    box.seen = true;
    box.text = ControlText(window, kBoxTextId);
    box.owner = GetWindow(window, GW_OWNER);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(window, answer));
    WaitUntil([&] { return !IsWindow(window); }, 5000);
    return box;
}

}  // namespace drive

#endif
