/*
 * yelkpack list and verify: what the installer's own matcher and CRC make of
 * an installer or a bare payload, read in blocks so that a file of any size
 * takes a few hundred kilobytes of memory.
 */
#include "tools/yelkpack.h"
#include "tools/examine.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/posix/posix_platform.h"
#include "payload/crcrecord.h"
#include "tools/inputfile.h"
#include "tools/lzhenc_internal.h"
#include "payload/container.h"

static const uint32_t kRcData = 10;
static const uint32_t kPayloadResource = 4;

static const uint64_t kInstallerSizeLimit = 1ull << 31;   /* as pack enforces it */
static const size_t kBlockSize = 65536;                           /* bytes read at a time */
static const size_t kCarry = sizeof(MemberCheckRecord) - 1;      /* kept from one block for the next */
static_assert(kCarry >= 3, "a marker split across two blocks must be found");

/* The bytes of one block, after those kept from the block before: the CRC
   record and the marker are searched across the seam. */
static uint8_t window[kCarry + kBlockSize];

/* Where a bare payload breaks off, from where its scan stopped. */
static std::string PayloadCutShort(const PayloadScan &scan)
{
    size_t k = scan.members.size();
    char text[96];
    if (scan.walk.part == kInMember)
        snprintf(text, sizeof text, "inside member %zu%s%s%s", k, k < 10 ? " (" : "", k < 10 ? kMemberNames[k] : "",
                 k < 10 ? ")" : "");
    else if (k == 0)
        snprintf(text, sizeof text, "just after the payload's first marker");
    else
        snprintf(text, sizeof text, "just after the marker that closes member %zu", k - 1);
    return text;
}

int InspectFile(const std::string &path, InspectedFile *file, std::string *why)
{
    InputFile in;
    if (int opened = OpenInputFile(path, &in, why); opened != 1)
        return opened;
    file->size = in.size;
    uint8_t magic[2];
    file->isExe = ReadAt(in, 0, magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
    if (file->isExe) {
        file->peRead = ReadPeLayout(in, &file->layout);
        const char *reason = file->peRead == kPeCutShort ? "the file ends inside its headers"
                           : file->peRead == kPeDamaged ? file->layout.damage.c_str()
                                                        : "not a PE file";
        if (file->peRead == kPeOk)
            file->hasResource = FindPeResource(in, file->layout, kRcData, kPayloadResource, &file->resourceOffset,
                                               &file->resourceSize, &reason) != 0;
        file->resourceWhy = reason;
    }
    file->damage = file->layout.damage;

    /* One pass from the start, until the record, the marker ahead of the
       payload and the payload's end have all been looked for. */
    bool wantRecord = file->isExe;
    bool wantMembers = file->isExe;
    bool wantEarly = file->hasResource;
    PayloadScan &scan = file->scan;
    uint64_t windowStart = 0;   /* file offset of window[0] */
    size_t kept = 0;
    bool failed = fseeko(in.stream, 0, SEEK_SET) != 0;
    while (!failed && (wantRecord || wantMembers || wantEarly || !scan.terminated)) {
        size_t got = fread(window + kept, 1, kBlockSize, in.stream);
        if (got == 0)
            break;
        size_t length = kept + got;
        if (wantRecord && FindCrcRecord(window, length, &file->recordCrc)) {
            file->hasRecord = true;
            wantRecord = false;
        }
        if (wantMembers && FindMemberRecord(window, length, file->memberText)) {
            file->hasMemberRecord = true;
            wantMembers = false;
        }
        if (wantEarly) {
            /* Only a marker that ends ahead of the payload's first byte. */
            uint64_t before = file->resourceOffset - windowStart;
            long at = FindMarker(window, before < length ? (size_t)before : length);
            if (at >= 0)
                file->earlyMarker = (int64_t)(windowStart + (uint64_t)at);
            if (at >= 0 || before <= length)
                wantEarly = false;
        }
        if (!scan.terminated)
            FeedPayloadScan(&scan, window + kept, got);
        kept = length < kCarry ? length : kCarry;
        memmove(window, window + length - kept, kept);
        windowStart += length - kept;
    }
    failed = failed || ferror(in.stream);
    CloseInputFile(&in);
    if (failed) {
        *why = path + ": read error";
        return 0;
    }

    /* The CRC exactly as the installer computes it, by its own code. */
    file->crc = PayloadCrc(ToWindowsPath(path).c_str());

    if (file->isExe && file->peRead == kPeCutShort)
        file->cutShort = "inside its headers";
    else if (file->isExe && file->peRead == kPeOk)
        file->cutShort = PeCutShort(file->layout, file->size);
    else if (!file->isExe && scan.sawMarker && !scan.terminated)
        file->cutShort = PayloadCutShort(scan);
    return 1;
}

std::string IncompleteText(const InspectedFile &file)
{
    if (file.cutShort.empty())
        return "";
    return std::string("not a complete ") + (file.isExe ? "installer" : "payload") + ": it breaks off at byte " +
           std::to_string(file.size) + ", " + file.cutShort;
}

std::string SignatureText(const InspectedFile &file)
{
    if (file.layout.certSize == 0)
        return "not signed";
    char text[96];
    snprintf(text, sizeof text, "signed: certificate table at 0x%X, %u bytes", (unsigned)file.layout.certOffset,
             (unsigned)file.layout.certSize);
    return text;
}

std::string VerifyProblem(const InspectedFile &file)
{
    char line[256];
    const PayloadScan &scan = file.scan;
    if (!file.isExe)
        return "not an executable";
    if (!file.damage.empty())
        return file.damage;
    if (!file.cutShort.empty())
        return IncompleteText(file);
    if (file.size >= kInstallerSizeLimit) {
        snprintf(line, sizeof line,
                 "%" PRIu64 " bytes: the installer keeps its own size as a signed 32-bit number, so it must stay "
                 "below 2 GiB",
                 file.size);
        return line;
    }
    if (!file.hasResource)
        return "payload resource (RCDATA 4): " + file.resourceWhy;
    if (file.earlyMarker >= 0) {
        snprintf(line, sizeof line, "the member marker occurs at 0x%" PRIX64 ", ahead of the payload at 0x%" PRIX64,
                 (uint64_t)file.earlyMarker, file.resourceOffset);
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
    if (scan.tooMany)
        return "more than 10 members";
    if (scan.members.size() != 10) {
        snprintf(line, sizeof line, "%zu members instead of 10", scan.members.size());
        return line;
    }
    if (scan.end > file.resourceOffset + file.resourceSize)
        return "the payload runs past the end of its resource";
    if (file.layout.certSize != 0 && file.layout.certOffset < scan.end) {
        snprintf(line, sizeof line, "the certificate table at 0x%X starts before the payload's end at 0x%" PRIX64,
                 (unsigned)file.layout.certOffset, scan.end);
        return line;
    }
    /* The signature is appended after everything the loader maps. */
    if (file.layout.certSize != 0) {
        if (file.layout.certOffset < file.layout.headersEnd)
            return "the certificate table overlaps the headers";
        for (const PeSection &sec : file.layout.sections)
            if (sec.rawSize != 0 && file.layout.certOffset < (uint64_t)sec.rawOffset + sec.rawSize) {
                snprintf(line, sizeof line, "the certificate table at 0x%X overlaps section %s (bytes %u to %" PRIu64 ")",
                         (unsigned)file.layout.certOffset, EscapedText(sec.name, strlen(sec.name)).c_str(),
                         (unsigned)sec.rawOffset, (uint64_t)sec.rawOffset + sec.rawSize - 1);
                return line;
            }
    }
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

/* The one FILE argument of list and verify, inspected into file; kExitOk, or
   the exit code of what went wrong, reported. */
static int InspectArgument(const char *command, const std::vector<std::string> &args, InspectedFile *file)
{
    if (args.size() != 1)
        return UsageError(command);
    if (int refused = RefuseBackslash(command, args[0]))
        return refused;
    std::string why;
    int inspected = InspectFile(args[0], file, &why);
    if (inspected != 1)
        return Report(inspected < 0 ? kExitRefused : kExitIo, "%s", why.c_str());
    return kExitOk;
}

int ListCommand(const std::vector<std::string> &args)
{
    InspectedFile file;
    if (int status = InspectArgument("list", args, &file))
        return status;
    const PayloadScan &scan = file.scan;
    if (file.isExe && file.hasResource)
        printf("%s: installer, payload resource at 0x%" PRIX64 " (%u bytes)\n", args[0].c_str(),
               file.resourceOffset, (unsigned)file.resourceSize);
    else if (file.isExe)
        printf("%s: executable without a payload resource (%s)\n", args[0].c_str(), file.resourceWhy.c_str());
    else
        printf("%s: bare payload\n", args[0].c_str());
    if (file.isExe && file.peRead == kPeOk)
        printf("%s\n", SignatureText(file).c_str());
    if (!file.damage.empty())
        printf("%s\n", file.damage.c_str());
    if (!file.cutShort.empty())
        printf("%s\n", IncompleteText(file).c_str());
    if (!scan.sawMarker)
        return Report(kExitRefused, "%s: no member marker found", args[0].c_str());
    printf("first marker at 0x%" PRIX64 "\n", scan.firstMarker);
    printf("%-3s %10s %10s %10s  %s\n", "#", "offset", "coded", "decoded", "name");
    for (size_t k = 0; k < scan.members.size(); k++) {
        const ScannedMember &m = scan.members[k];
        printf("%-3zu %10" PRIu64 " %10" PRIu64 " %10u  %s\n", k, m.offset, m.length, (unsigned)m.decodedSize,
               k < 10 ? kMemberNames[k] : "(extra)");
    }
    if (scan.tooMany)
        printf("more than 10 members (the file is damaged; the rest are not listed), %s\n",
               scan.terminated ? "terminating pair found" : "no terminating pair");
    else
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
    InspectedFile file;
    if (int status = InspectArgument("verify", args, &file))
        return status;
    std::string problem = VerifyProblem(file);
    if (problem.empty())
        problem = DecodedProblem(args[0], file);
    if (!problem.empty())
        return Report(kExitRefused, "%s: %s", args[0].c_str(), problem.c_str());
    printf("%s: ok, payload at 0x%" PRIX64 ", 10 members, CRC 0x%08X, %s\n", args[0].c_str(), file.resourceOffset,
           (unsigned)file.crc, SignatureText(file).c_str());
    return kExitOk;
}
