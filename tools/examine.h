/*
 * An installer or bare payload read for inspection: where its payload
 * resource is, what the installer's matcher finds in it, its CRC as the
 * installer computes it and, for an installer, the compiled-in value.
 */
#ifndef YELK_TOOLS_INSPECT_H
#define YELK_TOOLS_INSPECT_H

#include <cstdint>
#include <string>
#include <vector>

#include "payloadscan.h"

struct InspectedFile {
    std::vector<uint8_t> bytes;
    bool isExe = false;            /* starts like a PE file */
    bool hasResource = false;      /* RCDATA 4 found */
    uint64_t resourceOffset = 0;
    uint32_t resourceSize = 0;
    std::string resourceWhy;       /* why not, when not */
    bool hasRecord = false;        /* compiled-in CRC record found */
    uint32_t recordCrc = 0;
    PayloadScan scan;
    uint32_t crc = 0;              /* PayloadCrc over the file */
};

/* Reads and inspects path; 0 and a reason when it cannot be read. */
int InspectFile(const std::string &path, InspectedFile *file, std::string *why);

/* Why the file would fail the installer's checks, or "" when it passes. */
std::string VerifyProblem(const InspectedFile &file);

#endif
