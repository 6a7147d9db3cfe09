/*
 * The payload's members: their file names in payload order, their paths in
 * the destination folder, and the size and CRC-32 that the packer recorded
 * for each, against which decoded and existing files are checked.
 */
#ifndef YELK_PAYLOAD_MEMBERS_H
#define YELK_PAYLOAD_MEMBERS_H

#include <cstdint>

#include "common/session.h"

enum {
    kMemberPathSize = kPathSize + 16, /* destDir, a backslash, the longest file name */
    kMemberNameSize = 12              /* the longest file name and its terminator */
};

/* File names of the members, in payload order: a table of characters, not of
   pointers, which would each need a base relocation in setup32.exe. */
extern const char kMemberNames[kMemberCount][kMemberNameSize];

/* destDir + "\" + file name of member index into out (kMemberPathSize
   bytes); "" outside 0..9. */
void MemberPath(char *out, int index);

/* Each member's decoded size and CRC-32 as the packer recorded them. A size
   of 0 means none is known (no member is empty): the member is not checked.
   The installer fills it from the record compiled in beside the payload's CRC,
   the headless installer from the record in the file it installs. */
struct MemberCheck {
    uint32_t size;
    uint32_t crc;
};
extern MemberCheck memberChecks[kMemberCount];

/* The record's text: kMemberCount times sixteen lowercase hex digits, the
   size then the CRC. Lowercase digits hold no "A", so the text can neither
   form the member marker nor end in a first part of it. */
enum { kMemberCheckText = kMemberCount * 16 };
/* Fills memberChecks from such a text; 1 when it is well formed, else the
   checks are all cleared and 0. */
int ReadMemberChecks(const char *text);

/* Size and CRC-32 of the file at path, read whole; 0 when it cannot be read
   or is larger than limit bytes (it then differs from anything of that size). */
int MeasureFile(const char *path, uint32_t limit, MemberCheck *out);

/* What a file is against member index's check. */
enum FileCheck {
    kFileUnchecked,   /* no check known for the member */
    kFileMatches,     /* same size and CRC-32 */
    kFileDiffers      /* another size or CRC, or it cannot be read */
};
FileCheck CheckFileAgainstMember(int index, const char *path);

#endif
