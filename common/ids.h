/*
 * Numeric ids shared by the resource script and the C++ code: dialog controls,
 * resources, private messages and timers. Plain #defines only, so windres can read it.
 */
#ifndef YELK_COMMON_IDS_H
#define YELK_COMMON_IDS_H

/* Resources */
#define IDI_MAINICON        1      /* class icon of the main window */
#define IDI_WIZARDICON      2      /* icon painted at control IDC_ICONPLACE */
#define IDR_LICENCE         3      /* RCDATA: licence text, ends with a line "***" */
#define IDR_PAYLOAD         4      /* RCDATA: the packed client files */
#define IDD_FOLDERCHOOSER   1537   /* template of the folder chooser */

/* INSTALL_DLG: command buttons and the icon place */
#define IDC_BUTTON1         1      /* Next / Yes / Install; hidden on the finish page */
#define IDC_BUTTON2         2      /* Cancel / No / Abort / Finish */
#define IDC_ICONPLACE       120    /* hidden frame; the wizard icon is painted at its corner */
#define IDC_BACK            121    /* never offered */

/* Group 130: welcome page */
#define IDC_WELCOME         130
#define IDC_WELCOME2        131
#define IDC_WELCOME3        132
#define IDC_WELCOME4        133

/* Group 140: licence page */
#define IDC_LICENCEINTRO    140
#define IDC_LICENCETEXT     141
#define IDC_LICENCEQUESTION 142

/* Group 150: folder and options page */
#define IDC_FOLDERINTRO     150
#define IDC_FOLDERINTRO2    151
#define IDC_FOLDERTEXT      152
#define IDC_BROWSE          153
#define IDC_FOLDERFRAME     154
#define IDC_OPTIONSLABEL    155
#define IDC_MAKEBACKUPS     156
#define IDC_KEEPSETTINGS    157
#define IDC_CREATESHORTCUTS 158
#define IDC_INSTALLHINT     159

/* Group 170: progress page */
#define IDC_STATUS          170    /* status line */
#define IDC_FILEBAR         171    /* hidden frame under the per-file bar */
#define IDC_PROGRESSLABEL   172
#define IDC_OVERALLBAR      173    /* hidden frame under the overall bar */

/* Group 180: finish page */
#define IDC_DONE1           180
#define IDC_DONE2           181
#define IDC_DONE3           182
#define IDC_OPENHELP        183
#define IDC_LAUNCHCLIENT    184
#define IDC_DONE4           185

/* Folder chooser (template IDD_FOLDERCHOOSER); 1088, 1121 and 1152 are the
   ids the system's old-style file dialog looks for. */
#define IDC_CHOOSERFOLDER   102    /* edit: the folder the user will get */
#define IDC_CHOOSERCURDIR   1088   /* the dialog writes its current folder here */
#define IDC_CHOOSERDIRLIST  1121   /* folder list */
#define IDC_CHOOSERFILENAME 1152   /* file name box, holds a dummy name */
#define IDC_CHOOSERDRIVES   1137   /* drive list */
#define IDC_CHOOSERFILES    1120   /* file list, hidden */
#define IDC_CHOOSERTYPES    1136   /* file type list, hidden */
#define IDC_CHOOSERREADONLY 1040   /* read-only box, hidden */
#define IDC_CHOOSERHELP     1038   /* help button, hidden */
#define IDC_CHOOSERTYPELABEL 1089  /* label of the file type list, hidden */
#define IDC_CHOOSERDIRLABEL 1090   /* label of the folder list */
#define IDC_CHOOSERDRVLABEL 1091   /* label of the drive list */

/* Private messages and timers (WM_USER is 1024) */
#define UM_SHOWWIZARD       1124   /* posted by WinMain to the main window: run the wizard */
#define IDT_PUMP            1125   /* one-shot timer: 25 ms on the wizard after each extraction
                                      slice; 50 ms on the main window when the wizard ends (close) */
#define UM_PUMP             1126   /* posted to the wizard: run the next extraction slice */

#endif
