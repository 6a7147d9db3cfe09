/*
 * What the installer does after the wizard has closed: the uninstall entry,
 * the desktop shortcut, the client's ignore list, and the launch of the
 * client or its help file. Nothing here reports to the user.
 */
#ifndef YELK_APP_FINISH_H
#define YELK_APP_FINISH_H

#include <windows.h>

enum {
    kLinkPathSize = MAX_PATH   /* the .lnk path with its terminator */
};

/* Stores one string value under the uninstall key in HKEY_LOCAL_MACHINE;
   1 when stored, else 0. */
int WriteUninstallValue(const char *name, const char *text);

/* desktop + "\" where needed + "Yelk32.lnk" into out (kLinkPathSize bytes);
   1 when it fits, 0 (out emptied) when it would not. */
int BuildLinkPath(const char *desktop, char *out);

/* Saves "Yelk32.lnk" on the desktop pointing at target with working folder
   session.destDir; the save's status, a failing shell-link status, or -1 when
   target has no file name or the desktop or its link path is unusable. */
HRESULT CreateDesktopShortcut(const char *target);

/* The whole sequence, run by WinMain after the message loop while COM is
   still initialised; every result is ignored. */
void RunFinishingActions();

#endif
