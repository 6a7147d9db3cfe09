/*
 * Extras of the POSIX file-system half: how Windows paths map onto this
 * machine. Drive z: is the Linux root, as under Wine; every other drive letter
 * maps to <drive root>/<letter>/, where the drive root is chosen by the caller
 * (default: $TMPDIR/yelk-drives), so a native run writes only where it was told.
 */
#ifndef YELK_COMMON_POSIX_PLATFORM_H
#define YELK_COMMON_POSIX_PLATFORM_H

#include <string>

/* Folder that holds the drives other than z:. */
void SetDriveRoot(const std::string &folder);
/* What GetTempFolder reports, as a Linux folder; "" returns to $TMPDIR (or
   /tmp). A tool gives each run a private folder this way. */
void SetTempFolder(const std::string &linuxFolder);
/* What GetProgramPath reports (a Windows path). */
void SetProgramPath(const std::string &windowsPath);
/* "/tmp/x" -> "z:\tmp\x" (a relative path is made absolute first). */
std::string ToWindowsPath(const std::string &linuxPath);
/* "z:\tmp\x" -> "/tmp/x"; "c:\yelk.tmp" -> "<drive root>/c/yelk.tmp".
   A path without a drive letter is taken as relative, with backslashes turned
   into slashes. */
std::string ToLinuxPath(const std::string &windowsPath);

/* Confines the file operations of the platform interface on every path
   inside linuxFolder to that folder: they work from a descriptor of the
   folder opened once, look each name up without following a link and refuse
   "..", so a link planted at any name inside is the link itself and nothing
   written, moved, deleted or re-attributed reaches outside. "" ends it. */
void ConfineToFolder(const std::string &linuxFolder);
/* Opens the confined folder (without following a link when createdByRun)
   and takes an exclusive lock on it for as long as the process runs: 1 when
   held, 0 when another process holds it, -1 when the folder cannot be
   opened as a folder, -2 when it cannot be locked at all (errno says why:
   ENOLCK on a file system without locks). */
int LockConfinedFolder(bool createdByRun);

/* Called before every change the platform interface makes to a file or
   folder (a move, a delete, a new file or folder, a folder removed), with
   the Windows path it changes; a test stops a run at any of them. */
extern void (*beforeFileChange)(const char *path);

#endif
