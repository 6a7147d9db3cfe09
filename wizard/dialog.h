/*
 * The wizard's dialog procedure: it walks the user through the five pages
 * and conducts the installation, one extraction slice per UM_PUMP.
 */
#ifndef YELK_WIZARD_DIALOG_H
#define YELK_WIZARD_DIALOG_H

#include <windows.h>

/* Procedure of the INSTALL_DLG template, run modally by the main window. The
   dialog ends with 1 (finished, or the payload failed its check) or 0
   (cancelled or failed); the outcome itself travels in session.installDone,
   openHelp and launchClient. */
INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
