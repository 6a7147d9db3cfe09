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

/* 1 when the last folder name in path can be made: not one that ends in a
   space or a dot (the system would drop them and name another folder), and
   not a device the system reserves (con, prn, aux, nul, com1 to com9, lpt1 to
   lpt9, with any extension and spaces before it). A folder on the way that
   cannot exist makes the folder's creation fail ([1]) in any case. */
static int UsableNames(const char *path)
{
    const char *end = path + strlen(path);
    while (end > path && IsSeparator(end[-1]))
        end--;
    const char *name = end;
    while (name > path && !IsSeparator(name[-1]))
        name--;
    if (end > name && (end[-1] == ' ' || end[-1] == '.'))
        return 0;
    size_t base = 0;
    while (name + base < end && name[base] != '.')
        base++;
    while (base > 0 && name[base - 1] == ' ')
        base--;
    /* Three letters alone, or com and lpt with a digit 1 to 9. */
    static const char kDevices[] = "conprnauxnulcomlpt";
    for (int d = 0; d < 18 && (base == 3 || base == 4); d += 3) {
        int same = 1;
        for (int i = 0; i < 3; i++)
            same &= (name[i] | 0x20) == kDevices[d + i];
        if (same && (base == 3 ? d < 12 : d >= 12 && name[3] >= '1' && name[3] <= '9'))
            return 0;
    }
    return 1;
}

int IsUsableDestDir(const char *folder)
{
    size_t length = strlen(folder);
    if (length > kMaxDestDirLength)
        return 0;
    char drive = folder[0];
    if (((drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z')) && folder[1] == ':')
        return IsSeparator(folder[2]) && UsableNames(folder + 3);
    /* "\\\\server\\share": a server name and a share name after it. */
    if (!IsSeparator(folder[0]) || !IsSeparator(folder[1]))
        return 0;
    const char *server = folder + 2;
    size_t serverLength = 0;
    while (server[serverLength] != '\0' && !IsSeparator(server[serverLength]))
        serverLength++;
    const char *share = server + serverLength;
    return serverLength > 0 && IsSeparator(share[0]) && share[1] != '\0' && !IsSeparator(share[1]) &&
           UsableNames(share + 1);
}
