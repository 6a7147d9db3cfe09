/* SplitPath: the portable stand-in for _splitpath. */
#include "common/path.h"

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

static int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

int IsUsableDestDir(const char *folder)
{
    size_t length = strlen(folder);
    if (length > kMaxDestDirLength)
        return 0;
    char drive = folder[0];
    if (((drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z')) && folder[1] == ':')
        return IsSeparator(folder[2]);
    /* "\\\\server\\share": a server name and a share name after it. */
    if (!IsSeparator(folder[0]) || !IsSeparator(folder[1]))
        return 0;
    const char *server = folder + 2;
    size_t serverLength = 0;
    while (server[serverLength] != '\0' && !IsSeparator(server[serverLength]))
        serverLength++;
    const char *share = server + serverLength;
    return serverLength > 0 && IsSeparator(share[0]) && share[1] != '\0' && !IsSeparator(share[1]);
}
