/* The members' names, paths and recorded checks (members.h). */
#include "payload/members.h"

#include <cstdio>
#include <cstring>

#include "common/platform.h"
#include "payload/crc.h"

const char kMemberNames[kMemberCount][kMemberNameSize] = {
    "yelk32.exe",   /* the client program */
    "yelk.hlp",     /* help; its index yelk.gid is removed after it */
    "primer.hlp",   /* introductory help; its index primer.gid likewise */
    "about.txt",
    "history.txt",
    "yelk.ini",     /* settings files from here on */
    "macros.ini",
    "menus.ini",
    "hosts.ini",
    "marks.ini",
};

MemberCheck memberChecks[kMemberCount];

void MemberPath(char *out, int index)
{
    if (index < 0 || index >= kMemberCount) {
        out[0] = '\0';
        return;
    }
    snprintf(out, kMemberPathSize, "%s\\%s", session.destDir, kMemberNames[index]);
}

int ReadMemberChecks(const char *text)
{
    /* Sixteen lowercase hex digits per member: the size, then the CRC. */
    int ok = strlen(text) == kMemberCheckText;
    uint32_t *value = &memberChecks[0].size;
    for (int i = 0; ok && i < 2 * kMemberCount; i++) {
        value[i] = 0;
        for (int k = 0; k < 8; k++) {
            char c = *text++;
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            ok &= digit >= 0 && digit < 16;
            value[i] = value[i] << 4 | (uint32_t)digit;
        }
        ok &= i % 2 == 1 || value[i] != 0;
    }
    if (!ok)
        memset(memberChecks, 0, sizeof memberChecks);
    return ok;
}

int MeasureFile(const char *path, uint32_t limit, MemberCheck *out)
{
    FILE *f = OpenFileStream(path, "rb");
    if (f == nullptr)
        return 0;
    uint8_t block[8192];
    uint32_t reg = 0xFFFFFFFFu, size = 0;
    size_t got;
    /* Reading stops once the file is known to be longer than limit. */
    while (size <= limit && (got = fread(block, 1, sizeof block, f)) > 0) {
        reg = CrcUpdate(reg, block, got);
        size += (uint32_t)got;
    }
    int ok = !ferror(f) && size <= limit;
    fclose(f);
    out->size = size;
    out->crc = ~reg;
    return ok;
}

FileCheck CheckFileAgainstMember(int index, const char *path)
{
    const MemberCheck &check = memberChecks[index];
    if (check.size == 0)
        return kFileUnchecked;
    MemberCheck found;
    return MeasureFile(path, check.size, &found) && found.size == check.size && found.crc == check.crc
               ? kFileMatches
               : kFileDiffers;
}
