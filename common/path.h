/*
 * Taking a Windows path apart: drive ("c:"), directory (with its leading and
 * trailing backslash), name and extension (with its dot), as _splitpath does.
 */
#ifndef YELK_COMMON_PATH_H
#define YELK_COMMON_PATH_H

#include "common/session.h"

struct PathParts {
    char drive[3];            /* "c:" or empty */
    char dir[kPathSize];      /* "\yelk\" or empty */
    char name[kPathSize];     /* "yelk32" */
    char ext[kPathSize];      /* ".exe" or empty */
};

/* Splits path into parts; every part is cut to its buffer, never overflowed. */
void SplitPath(const char *path, PathParts *parts);

enum {
    /* Characters of a path the ANSI file API takes (MAX_PATH less its
       terminator). */
    kMaxPathLength = 259,
    /* The most that is composed onto the destination folder: the uninstall
       command "\"<folder>\\yelk32.exe\" -uninstall" adds 24 characters; the
       longest file path, the backup "<folder>\\backup\\history.txt", adds 19. */
    kLongestDestSuffix = 24,
    kMaxDestDirLength = kMaxPathLength - kLongestDestSuffix   /* 235 */
};

/* 1 when folder can be the destination: a full path (a drive letter, a colon
   and a separator, or a UNC name "\\\\server\\share") short enough that
   every path and command composed from it fits kMaxPathLength, whose folder
   names can all be made (none ends in a space or a dot, none is a device
   name such as nul or com1). A relative folder would name another place
   wherever the installer happens to run. */
int IsUsableDestDir(const char *folder);

#endif
