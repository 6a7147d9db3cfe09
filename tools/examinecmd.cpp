/*
 * yelkpack list and verify: what the installer's own matcher and CRC make of
 * an installer or a bare payload.
 */
#include "yelkpack.h"
#include "examine.h"

#include <cinttypes>
#include <cstdio>

#include "common/posix/posix_platform.h"
#include "crcrecord.h"
#include "lzhenc_internal.h"
#include "payload/container.h"
#include "pefile.h"

static const uint32_t kRcData = 10;
static const uint32_t kPayloadResource = 4;

int InspectFile(const std::string &path, InspectedFile *file, std::string *why)
{
    if (!ReadWholeFile(path, &file->bytes, why))
        return 0;
    const std::vector<uint8_t> &b = file->bytes;
    file->isExe = b.size() >= 2 && b[0] == 'M' && b[1] == 'Z';
    if (file->isExe) {
        const char *reason = "";
        file->hasResource = FindPeResource(b.data(), b.size(), kRcData, kPayloadResource,
                                           &file->resourceOffset, &file->resourceSize, &reason) != 0;
        file->resourceWhy = reason;
        file->hasRecord = FindCrcRecord(b.data(), b.size(), &file->recordCrc) != 0;
    }
    ScanPayload(b.data(), b.size(), &file->scan);
    /* The CRC exactly as the installer computes it, by its own code. */
    file->crc = PayloadCrc(ToWindowsPath(path).c_str());
    return 1;
}

std::string VerifyProblem(const InspectedFile &file)
{
    char line[256];
    const PayloadScan &scan = file.scan;
    if (!file.isExe)
        return "not an executable";
    if (!file.hasResource)
        return "payload resource (RCDATA 4): " + file.resourceWhy;
    long early = FindMarker(file.bytes.data(), (size_t)file.resourceOffset);
    if (early >= 0) {
        snprintf(line, sizeof line, "the member marker occurs at 0x%lX, ahead of the payload at 0x%" PRIX64,
                 (unsigned long)early, file.resourceOffset);
        return line;
    }
    if (!scan.sawMarker)
        return "no member marker found";
    if (scan.firstMarker != file.resourceOffset) {
        snprintf(line, sizeof line,
                 "the first marker found is at 0x%" PRIX64 ", not at the payload's first byte 0x%" PRIX64,
                 scan.firstMarker, file.resourceOffset);
        return line;
    }
    if (!scan.terminated)
        return "no terminating marker pair";
    if (scan.members.size() != 10) {
        snprintf(line, sizeof line, "%zu members instead of 10", scan.members.size());
        return line;
    }
    if (scan.end > file.resourceOffset + file.resourceSize)
        return "the payload runs past the end of its resource";
    if (!file.hasRecord)
        return "no compiled-in CRC record";
    if (file.crc != scan.crc) {
        snprintf(line, sizeof line, "the installer's CRC 0x%08X differs from the scan's 0x%08X",
                 (unsigned)file.crc, (unsigned)scan.crc);
        return line;
    }
    if (file.crc == 0)
        return "CRC 0 (the installer takes it for a read error)";
    if (file.crc != file.recordCrc) {
        snprintf(line, sizeof line, "CRC 0x%08X differs from the compiled-in 0x%08X",
                 (unsigned)file.crc, (unsigned)file.recordCrc);
        return line;
    }
    return "";
}

int ListCommand(const std::vector<std::string> &args)
{
    if (args.size() != 1)
        return Report(kExitUsage, "usage: yelkpack list FILE");
    InspectedFile file;
    std::string why;
    if (!InspectFile(args[0], &file, &why))
        return Report(kExitIo, "%s", why.c_str());
    const PayloadScan &scan = file.scan;
    if (file.isExe && file.hasResource)
        printf("%s: installer, payload resource at 0x%" PRIX64 " (%u bytes)\n", args[0].c_str(),
               file.resourceOffset, (unsigned)file.resourceSize);
    else if (file.isExe)
        printf("%s: executable without a payload resource (%s)\n", args[0].c_str(), file.resourceWhy.c_str());
    else
        printf("%s: bare payload\n", args[0].c_str());
    if (!scan.sawMarker)
        return Report(kExitRefused, "%s: no member marker found", args[0].c_str());
    printf("first marker at 0x%" PRIX64 "\n", scan.firstMarker);
    printf("%-3s %10s %10s %10s  %s\n", "#", "offset", "coded", "decoded", "name");
    for (size_t k = 0; k < scan.members.size(); k++) {
        const ScannedMember &m = scan.members[k];
        printf("%-3zu %10" PRIu64 " %10" PRIu64 " %10u  %s\n", k, m.offset, m.length,
               (unsigned)MemberDecodedSize(&file.bytes[m.offset], m.length),
               k < 10 ? kMemberNames[k] : "(extra)");
    }
    printf("%zu members, %s\n", scan.members.size(),
           scan.terminated ? "terminating pair found" : "no terminating pair");
    printf("CRC 0x%08X", (unsigned)file.crc);
    if (file.isExe) {
        if (file.hasRecord)
            printf(", compiled in 0x%08X: %s", (unsigned)file.recordCrc,
                   file.recordCrc == file.crc ? "equal" : "DIFFERENT");
        else
            printf(", no compiled-in CRC record");
    }
    printf("\n");
    return kExitOk;
}

int VerifyCommand(const std::vector<std::string> &args)
{
    if (args.size() != 1)
        return Report(kExitUsage, "usage: yelkpack verify FILE.exe");
    InspectedFile file;
    std::string why;
    if (!InspectFile(args[0], &file, &why))
        return Report(kExitIo, "%s", why.c_str());
    std::string problem = VerifyProblem(file);
    if (!problem.empty())
        return Report(kExitRefused, "%s: %s", args[0].c_str(), problem.c_str());
    printf("%s: ok, payload at 0x%" PRIX64 ", 10 members, CRC 0x%08X\n", args[0].c_str(),
           file.resourceOffset, (unsigned)file.crc);
    return kExitOk;
}
