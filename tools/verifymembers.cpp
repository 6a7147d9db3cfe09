/*
 * What yelkpack verify checks beyond the container: each member decoded by the
 * installer's own decoder to nowhere (only its size and CRC-32 are kept) and
 * held against the member record, and the PE header's checksum where it is set.
 */
#include "tools/examine.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "payload/crc.h"
#include "payload/extract.h"
#include "payload/lzhuf.h"
#include "tools/inputfile.h"

namespace {

/* A stream over one member's bytes of the file, and no further. */
struct MemberRange {
    FILE *file;
    uint64_t left;
};

ssize_t ReadRange(void *cookie, char *out, size_t size)
{
    MemberRange *r = static_cast<MemberRange *>(cookie);
    if (size > r->left)
        size = (size_t)r->left;
    size_t got = fread(out, 1, size, r->file);
    r->left -= got;
    return got == 0 && ferror(r->file) ? -1 : (ssize_t)got;
}

/* Where decoded bytes go: only their count and CRC are kept. */
struct Nowhere {
    uint32_t reg;
    uint64_t size;
};

ssize_t WriteNowhere(void *cookie, const char *data, size_t size)
{
    Nowhere *n = static_cast<Nowhere *>(cookie);
    n->reg = CrcUpdate(n->reg, data, size);
    n->size += size;
    return (ssize_t)size;
}

}  // namespace

std::string DecodedProblem(const std::string &path, const InspectedFile &file)
{
    char line[256];
    if (!file.hasMemberRecord)
        return "no compiled-in member record";
    if (!ReadMemberChecks(file.memberText))
        return "the compiled-in member record is damaged";
    InputFile in;
    std::string why;
    if (!OpenInputFile(path, &in, &why))
        return why;
    std::string problem;
    for (size_t k = 0; k < kMemberCount && problem.empty(); k++) {
        const ScannedMember &m = file.scan.members[k];
        MemberRange range = {in.stream, m.length};
        Nowhere sink = {0xFFFFFFFFu, 0};
        FILE *src = fseeko(in.stream, (off_t)m.offset, SEEK_SET) == 0
                        ? fopencookie(&range, "rb", {ReadRange, nullptr, nullptr, nullptr})
                        : nullptr;
        FILE *dst = fopencookie(&sink, "wb", {nullptr, WriteNowhere, nullptr, nullptr});
        int ok = src && dst && LzhDecode(src, dst) && !ferror(src);
        if (dst && fclose(dst) != 0)
            ok = 0;
        if (src)
            fclose(src);
        const MemberCheck &check = memberChecks[k];
        if (!ok)
            snprintf(line, sizeof line, "member %zu (%s) does not decode", k, kMemberNames[k]);
        else if (sink.size != check.size || ~sink.reg != check.crc)
            snprintf(line, sizeof line,
                     "member %zu (%s) decodes to %" PRIu64 " bytes, CRC 0x%08X; the record says %u bytes, CRC 0x%08X",
                     k, kMemberNames[k], sink.size, (unsigned)~sink.reg, (unsigned)check.size,
                     (unsigned)check.crc);
        else
            continue;
        problem = line;
    }
    if (problem.empty() && file.layout.checksum != 0) {
        uint32_t sum = 0;
        if (!ComputePeChecksum(in, file.layout, &sum))
            problem = path + ": read error";
        else if (sum != file.layout.checksum) {
            snprintf(line, sizeof line, "the PE checksum 0x%08X in the header differs from the file's 0x%08X",
                     (unsigned)file.layout.checksum, (unsigned)sum);
            problem = line;
        }
    }
    CloseInputFile(&in);
    return problem;
}
