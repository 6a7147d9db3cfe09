/*
 * The installer's one state record. Every subsystem reads and writes it; it is
 * zeroed at start and lives for the whole process.
 */
#ifndef YELK_COMMON_SESSION_H
#define YELK_COMMON_SESSION_H

#include <cstdint>
#include <cstdio>

enum {
    kPathSize = 300,     /* every path text: 299 characters and the terminator */
    kLongTextSize = 900, /* a buffer for a path or command composed from destDir
                            or the program's own path: room to spare */
    kMemberCount = 10    /* files in the payload */
};

/* The wizard's pages, in the order the user meets them. */
enum WizardPage {
    kPageWelcome = 0,
    kPageLicence = 1,
    kPageFolder = 2,     /* destination folder and options */
    kPageProgress = 3,
    kPageFinish = 4,
    kPageCount = 5
};

/* A run's decision on settings files an earlier installation left. */
enum SettingsPolicy {
    kSettingsUndecided = 0,   /* no existing settings file met yet in this run */
    kSettingsKeep = 1,        /* existing settings files stay, their members skipped */
    kSettingsReplace = 2      /* settings files are handled like all others */
};

struct InstallSession {
    /* Process */
    void *appInstance;            /* module handle; WinMain */
    void *mainWindow;             /* zero-size main window, owner of the wizard; WinMain */
    void *wizardDialog;           /* the wizard, owner of error boxes; InstallDlgProc */
    uint32_t ddeInstance;         /* DDE instance id, 0 when DDE failed; WinMain */
    int newShell;                 /* 1 on a Windows 95-style shell; WinMain */

    /* Wizard */
    WizardPage page;              /* current page; SetPage */
    char destDir[kPathSize];      /* destination folder; Install button and folder chooser */
    int makeBackups;              /* option 156; Install button */
    int keepSettings;             /* option 157; Install button */
    int createShortcuts;          /* option 158; Install button */
    int createdDestDir;           /* this run created destDir; CreateDestDir, CleanupInstall */
    int abortRequested;           /* abort question open: UM_PUMP does nothing; InstallDlgProc */
    int installDone;              /* Finish pressed; InstallDlgProc */
    int openHelp;                 /* finish option 183; InstallDlgProc */
    int launchClient;             /* finish option 184; InstallDlgProc */

    /* Extraction */
    FILE *setupStream;            /* installer file being scanned; OpenPayload, PumpExtraction */
    FILE *memberStream;           /* temporary member file being filled; PumpExtraction */
    int memberIndex;              /* member being collected = members finished; PumpExtraction */
    char marker[8];               /* member marker, built at run time; ResetInstall */
    int markerPos;                /* marker bytes matched and held back; PumpExtraction */
    int sliceCount;               /* bytes consumed in the current slice; PumpExtraction */
    char tempPath[kPathSize];     /* temporary member file; PumpExtraction */
    unsigned char wroteMember[kMemberCount]; /* 1 where this run wrote the member's file; ExtractMember */
    FILE *journalStream;          /* the run's journal in destDir, open from its first step; JournalNote */

    /* Progress */
    int32_t overallFill;          /* filled pixels of the overall bar; DrawScanProgress, SetPage */
    int32_t setupSize;            /* installer file size, 0 until measured; DrawScanProgress */

    /* Backup policy */
    char backupDir[kPathSize];    /* backup folder with trailing backslash, empty until first backup; BackupExisting */
    SettingsPolicy settingsPolicy; /* decision on existing settings files; BackupExisting, ResetInstall */
};

extern InstallSession session;

#endif
