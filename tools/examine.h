/*
 * An installer or bare payload inspected in place: its PE layout and payload
 * resource, what the installer's matcher finds in it, its CRC as the
 * installer computes it, the compiled-in value, whether it is signed, and
 * whether it ends where its own headers (or its payload) say it should.
 */
#ifndef YELK_TOOLS_INSPECT_H
#define YELK_TOOLS_INSPECT_H

#include <cstdint>
#include <string>

#include "payload/crcrecord.h"
#include "tools/payloadscan.h"
#include "tools/pefile.h"

struct InspectedFile {
    uint64_t size = 0;             /* bytes in the file */
    bool isExe = false;            /* starts like a PE file ("MZ") */
    PeRead peRead = kPeNotPe;      /* how far its headers could be read */
    PeLayout layout;               /* when peRead is kPeOk */
    bool hasResource = false;      /* RCDATA 4 found */
    uint64_t resourceOffset = 0;
    uint32_t resourceSize = 0;
    std::string resourceWhy;       /* why not, when not */
    bool hasRecord = false;        /* compiled-in CRC record found */
    uint32_t recordCrc = 0;
    bool hasMemberRecord = false;  /* compiled-in member record found */
    char memberText[kMemberRecordText + 1] = {};  /* its text */
    int64_t earlyMarker = -1;      /* a complete marker ahead of the payload resource */
    PayloadScan scan;
    uint32_t crc = 0;              /* PayloadCrc over the file */
    std::string cutShort;          /* where the file breaks off; "" when it is whole */
    std::string damage;            /* headers that contradict each other; "" when none */
};

/* Inspects path, reading it in blocks; 1 when done; 0 and a reason when it
   cannot be read; -1 and a reason when it is no regular file. */
int InspectFile(const std::string &path, InspectedFile *file, std::string *why);

/* A name with a backslash cannot pass through the core's Windows paths on
   POSIX (it would read as a folder separator): reported as a usage error
   (its exit code) for command; 0 when the name has none. */
int RefuseBackslash(const char *command, const std::string &name);

/* Why the file would fail the installer's checks, or "" when it passes. */
std::string VerifyProblem(const InspectedFile &file);

/* What verify checks beyond VerifyProblem, reading the file at path again:
   each member decoded to nowhere and held against the member record, and the
   PE header's checksum where one is set. "" when all agree. */
std::string DecodedProblem(const std::string &path, const InspectedFile &file);

/* "not a complete installer: it breaks off at byte N, inside ..." (or "not a
   complete payload: ..."); "" when the file is whole. */
std::string IncompleteText(const InspectedFile &file);

/* "signed: certificate table at 0x..., N bytes" or "not signed". */
std::string SignatureText(const InspectedFile &file);

#endif
