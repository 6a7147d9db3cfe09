/*
 * The platform interface of the portable core. Each program links one
 * implementation: the installer the Win32 one (app/, wizard/), native tools and
 * tests the POSIX file-system half (common/posix/) and a user-facing half of
 * their own (a recording one for tests, a printing one for the packer).
 * Paths are Windows paths with backslashes in every implementation.
 */
#ifndef YELK_COMMON_PLATFORM_H
#define YELK_COMMON_PLATFORM_H

#include <cstdint>
#include <cstdio>

/* ---- File system ---- */

/* fopen for a Windows path; mode as for fopen ("rb", "wb"). */
FILE *OpenFileStream(const char *path, const char *mode);
/* Full path of the running installer into out; its length, 0 on failure. */
int GetProgramPath(char *out, int size);
/* The temporary folder, ending in a backslash, as GetTempPathA gives it;
   its length, or 0 when there is none or it does not fit. */
int GetTempFolder(char *out, int size);
/* 1 when a file or folder exists at path. */
int PathExists(const char *path);
/* What stands at a name. */
enum PathKindResult {
    kPathNone = 0,     /* nothing */
    kPathFile = 1,     /* a plain file */
    kPathFolder = 2,   /* a plain folder */
    kPathSpecial = 3   /* a link, a junction or other reparse point, or a file
                          that is neither plain file nor folder (a FIFO, a device) */
};
PathKindResult PathKind(const char *path);
/* Clears read-only, hidden, system and archive; 1 on success. */
int ClearAttributes(const char *path);
/* Clears the read-only attribute alone; 1 on success. */
int ClearReadOnly(const char *path);
/* One attempt to delete a file; 1 on success. */
int DeleteFileAt(const char *path);
/* Moves a file to a name where nothing stands; fails, and changes nothing,
   when anything stands at to. 1 on success. */
int MoveFileTo(const char *from, const char *to);
/* Creates one folder (its parent must exist); 1 on success. */
int MakeFolder(const char *path);
/* Removes an empty folder; 1 on success. */
int RemoveFolder(const char *path);

/* ---- User-facing calls of the core ---- */

/* A device context handed to a painter, or nullptr: the painter then takes
   the wizard's own for the call. */
typedef void *PaintContext;

/* Shows the wait cursor; returns the cursor it replaced. */
void *BeginWaitCursor();
void EndWaitCursor(void *previous);
/* Stop-icon message box "Yelk Installation Error [number]" owned by the wizard. */
void ShowErrorBox(int number, const char *text);
/* Text of the status line (control 170). */
void SetStatusText(const char *text);
/* Width in pixels of the per-file bar (the inside of its frame) and of the
   overall bar (its whole frame); 0 where there is no wizard. */
int FileBarWidth();
int OverallBarWidth();
/* Paints the overall bar over control 173 with the given filled width. */
void PaintScanBar(PaintContext dc, int32_t fill);
/* Paints the per-file bar over control 171. */
void DrawFileProgress(PaintContext dc, uint32_t done, uint32_t total);
/* Erases the per-file bar after a member (invalidate with erase, repaint now). */
void WipeFileBar();

/* ---- Files a run makes for itself ---- */

/* Creates a file at path that did not exist before (nothing, not even a link,
   may stand there) and opens it for writing, through the very handle that
   created it; nullptr when that fails. */
FILE *CreateNewFile(const char *path);
/* 1 when a folder (not a file) exists at path. */
int FolderExists(const char *path);

#endif
