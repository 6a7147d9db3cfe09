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

#endif
