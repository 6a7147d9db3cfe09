/*
 * Taking a Windows path apart: drive ("c:"), directory (with its leading and
 * trailing backslash), name and extension (with its dot), as _splitpath does.
 */
#ifndef YELK_COMMON_PATH_H
#define YELK_COMMON_PATH_H

#include "session.h"

struct PathParts {
    char drive[3];            /* "c:" or empty */
    char dir[kPathSize];      /* "\yelk\" or empty */
    char name[kPathSize];     /* "yelk32" */
    char ext[kPathSize];      /* ".exe" or empty */
};

/* Splits path into parts; every part is cut to its buffer, never overflowed. */
void SplitPath(const char *path, PathParts *parts);

#endif
