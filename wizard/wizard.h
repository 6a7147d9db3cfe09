/*
 * The wizard's Win32 routines: page layout and switching (pages.cpp), the
 * destination folder and its chooser (folder.cpp). The progress painters are
 * part of the platform interface (common/platform.h, paint.cpp);
 * CreateDestDir is portable (payload/destdir.h).
 */
#ifndef YELK_WIZARD_WIZARD_H
#define YELK_WIZARD_WIZARD_H

#include <windows.h>

#include "common/session.h"

/* ---- Pages (pages.cpp) ---- */

/* Centres a top-level window on the desktop, 10 pixels clear of its right and
   bottom edges; keeps size and z-order. */
void CenterWindow(HWND window);
/* Moves control group `base` (ids base, base+1, ... while they exist) to its
   page place and hides every member. */
void StackGroup(HWND dialog, int base);
/* show 1: enables and shows every member of group `base`; 0: hides and
   disables them. The bar frames 171 and 173 are never touched. */
void ShowGroup(HWND dialog, int base, int show);
/* Invalidates, with erase, the dialog area under control `id`. */
void InvalidateControl(HWND dialog, int id);
/* Lays the pages out once (every group moved to the page area and hidden)
   and shows the welcome page. */
void LayOutPages(HWND dialog);
/* Switches to page: session.page, empty overall bar, status "Scanning
   files...", buttons, focus. */
void SetPage(HWND dialog, WizardPage page);
/* Caption, welcome text with the version, licence text from RCDATA 3. */
void InitWizardTexts(HWND dialog);

/* ---- Controls (paint.cpp) ---- */

/* Control `id` of session.wizardDialog; nullptr when there is none or no
   dialog. The same as GetDlgItem, but the handle is kept and checked on the
   next call: under Wine GetDlgItem asks the server for the dialog's whole
   list of children (about 40 us with the wizard's fifty controls), and the
   per-file bar is painted hundreds of times for a member. */
HWND WizardControl(int id);

/* ---- Destination folder (folder.cpp) ---- */

/* 1 until the first BrowseForFolder, which starts the chooser at the root of
   the destination drive; 0 afterwards. */
extern int firstBrowse;

/* Writes the default folder (drive root of the installer, or of the Windows
   folder when the installer is not on a fixed disk, then "Yelk") into
   control 152; session.destDir is not touched. */
void InitDefaultFolder(HWND dialog);
/* Runs the folder chooser on session.destDir. 1 on OK, with session.destDir
   holding exactly the text of the chooser's folder field at that moment;
   0 on Cancel or when the chooser cannot run. */
int BrowseForFolder(HWND owner);
/* The chooser's hook; always 0, so the system dialog's own handling follows. */
UINT_PTR CALLBACK FileHook(HWND chooser, UINT message, WPARAM wParam, LPARAM lParam);
/* Recomputes the suggestion for the chooser's current folder into
   session.destDir and the chooser's folder field. */
void SuggestFolder(HWND chooser);

#endif
