/*
 * The real INSTALL_DLG for the wizard's Windows tests: created modeless from
 * the test program's own resources with a small dialog procedure that does
 * what the installer's does at initialisation (texts, layout), plus helpers to
 * pump messages and read the controls' state.
 */
#ifndef YELK_TESTS_WIN32_WIZARD_DIALOG_H
#define YELK_TESTS_WIN32_WIZARD_DIALOG_H

#include <windows.h>

#include <set>
#include <string>

#include "common/ids.h"
#include "common/session.h"
#include "wizard/wizard.h"

namespace wizardtest {

inline INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        session.wizardDialog = dialog;
        InitWizardTexts(dialog);
        LayOutPages(dialog);
        return FALSE;
    }
    return FALSE;
}

/* Runs the queue until it is empty. */
inline void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

inline HWND CreateWizard()
{
    session = InstallSession();
    session.appInstance = GetModuleHandleA(nullptr);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "INSTALL_DLG", nullptr,
                                     TestDialogProc, 0);
    if (dialog) {
        SetForegroundWindow(dialog);
        Pump();
    }
    return dialog;
}

inline void DestroyWizard(HWND dialog)
{
    DestroyWindow(dialog);
    Pump();
    session.wizardDialog = nullptr;
}

inline int IdOf(HWND control) { return GetDlgCtrlID(control); }

/* Ids of the dialog's children whose own WS_VISIBLE style is set. */
inline std::set<int> VisibleIds(HWND dialog)
{
    std::set<int> ids;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE)
            ids.insert(IdOf(c));
    return ids;
}

inline std::set<int> EnabledIds(HWND dialog)
{
    std::set<int> ids;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowEnabled(c))
            ids.insert(IdOf(c));
    return ids;
}

inline std::string TextOf(HWND window)
{
    char text[4000] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

/* A control's window rectangle in the dialog's client pixels. */
inline RECT ClientRect(HWND dialog, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(HWND_DESKTOP, dialog, (POINT *)&r, 2);
    return r;
}

}  // namespace wizardtest

#endif
