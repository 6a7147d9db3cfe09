/* SplitPath: the portable stand-in for _splitpath. */
#include "path.h"

#include <cstring>

static void CopyPart(char *out, size_t size, const char *from, size_t length)
{
    if (length >= size)
        length = size - 1;
    memcpy(out, from, length);
    out[length] = '\0';
}

void SplitPath(const char *path, PathParts *parts)
{
    const char *p = path;
    if (p[0] != '\0' && p[1] == ':') {
        CopyPart(parts->drive, sizeof parts->drive, p, 2);
        p += 2;
    } else {
        parts->drive[0] = '\0';
    }

    /* The directory runs to the last separator; the extension starts at the
       last dot after it. */
    const char *lastSep = nullptr;
    for (const char *q = p; *q; q++)
        if (*q == '\\' || *q == '/')
            lastSep = q;
    const char *base = lastSep ? lastSep + 1 : p;
    CopyPart(parts->dir, sizeof parts->dir, p, (size_t)(base - p));

    const char *dot = strrchr(base, '.');
    const char *end = base + strlen(base);
    if (dot == nullptr)
        dot = end;
    CopyPart(parts->name, sizeof parts->name, base, (size_t)(dot - base));
    CopyPart(parts->ext, sizeof parts->ext, dot, (size_t)(end - dot));
}
