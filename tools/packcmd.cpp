/*
 * yelkpack pack: codes the ten client files of a folder into one payload and
 * writes the header that gives the installer build its expected CRC.
 */
#include "tools/yelkpack.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "payload/crcrecord.h"
#include "tools/lzhenc.h"
#include "payload/crc.h"
#include "tools/payloadscan.h"

namespace {

/* Room left in setup32.exe for everything but the payload: the program, its
   other resources and the PE headers are far smaller. Its size is a signed
   32-bit number in the installer, so the whole file must stay below 2 GiB. */
const uint64_t kInstallerAllowance = 4ull << 20;
const uint64_t kInstallerLimit = 1ull << 31;
const uint64_t kFileLimit = 1ull << 32;

/* The name in dir that equals want, or failing that equals it in another case
   (the first such in sorted order); "" when there is none. */
std::string FindInFolder(const std::string &dir, const char *want)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return "";
    std::vector<std::string> alike;
    bool exact = false;
    while (dirent *e = readdir(d)) {
        if (strcmp(e->d_name, want) == 0)
            exact = true;
        else if (strcasecmp(e->d_name, want) == 0)
            alike.push_back(e->d_name);
    }
    closedir(d);
    if (exact)
        return want;
    if (alike.empty())
        return "";
    std::sort(alike.begin(), alike.end());
    return alike[0];
}

/* The outputs are written beside the names they will take (new names in the
   same folders, created exclusively, so nothing found there is written
   through) and moved into place together only once every one is complete. */
struct StagedFile {
    std::string path;   /* where it goes */
    std::string temp;   /* where it was written */
};
std::vector<StagedFile> staged;

/* Removes every file written so far: a pack that fails leaves the earlier
   outputs as they were. */
void DiscardStagedFiles()
{
    for (const StagedFile &f : staged)
        unlink(f.temp.c_str());
    staged.clear();
}

/* Writes data into a new file beside path, checking every byte and the
   close; 0 on failure, with everything staged removed. */
int WriteFile(const std::string &path, const void *data, size_t length)
{
    size_t slash = path.rfind('/');
    std::string pattern = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
                          (slash == std::string::npos ? path : path.substr(slash + 1)) + ".yelkpack-XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        DiscardStagedFiles();
        return 0;
    }
    staged.push_back({path, temp.data()});
    /* The mode a plain create would have given it. */
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE *f = fdopen(fd, "wb");
    bool ok = f != nullptr && fwrite(data, 1, length, f) == length;
    if (f) {
        ok = fflush(f) == 0 && !ferror(f) && ok;
        ok = fclose(f) == 0 && ok;
    } else {
        close(fd);
    }
    if (!ok)
        DiscardStagedFiles();
    return ok;
}

/* Moves every staged file into place; 0 and the path that failed. */
int CommitStagedFiles(std::string *failed)
{
    for (size_t k = 0; k < staged.size(); k++) {
        if (rename(staged[k].temp.c_str(), staged[k].path.c_str()) != 0) {
            *failed = staged[k].path;
            staged.erase(staged.begin(), staged.begin() + (long)k);
            DiscardStagedFiles();
            return 0;
        }
    }
    staged.clear();
    return 1;
}

/* What a path will name: the file there (a link followed), or for a name not
   yet there its folder and the name. Two paths are one file when these are
   equal, whatever names lead there. */
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string newName;   /* set for a file not yet there */
    bool known = false;
    bool isRegular = true;
};

FileIdentity IdentityOf(const std::string &path)
{
    FileIdentity id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id = {st.st_dev, st.st_ino, "", true, S_ISREG(st.st_mode)};
        return id;
    }
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (stat(folder.c_str(), &st) == 0)
        id = {st.st_dev, st.st_ino, slash == std::string::npos ? path : path.substr(slash + 1), true, true};
    return id;
}

bool SameFile(const FileIdentity &a, const FileIdentity &b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode && a.newName == b.newName;
}

/* The payload must come back from the installer's own matcher as exactly the
   streams that went in; anything else is a fault of the packer. */
bool PayloadSplitsBack(const std::vector<uint8_t> &payload, const std::vector<std::vector<uint8_t>> &streams)
{
    PayloadScan scan;
    ScanPayload(payload.data(), payload.size(), &scan);
    if (!scan.sawMarker || scan.firstMarker != 0 || !scan.terminated || scan.members.size() != streams.size())
        return false;
    for (size_t k = 0; k < streams.size(); k++) {
        const ScannedMember &m = scan.members[k];
        if (m.length != streams[k].size() || memcmp(&payload[m.offset], streams[k].data(), m.length) != 0)
            return false;
    }
    return scan.end == payload.size() - 2;
}

uint32_t StreamsCrc(const std::vector<std::vector<uint8_t>> &streams)
{
    uint32_t reg = 0xFFFFFFFFu;
    for (const std::vector<uint8_t> &s : streams)
        reg = CrcUpdate(reg, s.data(), s.size());
    return ~reg;
}

/* Each member's size, packed size (its stream, size field included, as list
   shows it) and the one as a percentage of the other; then the totals. */
void PrintSummary(const std::vector<uint64_t> &sizes, const std::vector<std::vector<uint8_t>> &streams)
{
    printf("%-12s %12s %12s %7s\n", "member", "size", "packed", "ratio");
    uint64_t allSizes = 0, allPacked = 0;
    for (size_t k = 0; k < sizes.size(); k++) {
        uint64_t packed = streams[k].size();
        printf("%-12s %12" PRIu64 " %12" PRIu64 " %6.1f%%\n", kMemberNames[k], sizes[k], packed,
               100.0 * (double)packed / (double)sizes[k]);
        allSizes += sizes[k];
        allPacked += packed;
    }
    printf("%-12s %12" PRIu64 " %12" PRIu64 " %6.1f%%\n", "total", allSizes, allPacked,
           100.0 * (double)allPacked / (double)allSizes);
}

}  // namespace

int PackCommand(const std::vector<std::string> &args)
{
    std::string dir, output, header;
    EncodeParse parse = kParseBest;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--crc-header" && i + 1 < args.size())
            header = args[++i];
        else if (args[i] == "--greedy")
            parse = kParseGreedy;
        else if (dir.empty() && args[i][0] != '-')
            dir = args[i];
        else
            return Report(kExitUsage, "pack: unexpected argument '%s'", args[i].c_str());
    }
    if (dir.empty() || output.empty() || header.empty())
        return UsageError("pack");
    struct stat folder;
    if (stat(dir.c_str(), &folder) != 0)
        return Report(kExitRefused, "%s: no such folder", dir.c_str());
    if (!S_ISDIR(folder.st_mode))
        return Report(kExitRefused, "%s: not a folder", dir.c_str());

    /* Every file is checked before any is coded. */
    std::vector<std::string> paths;
    for (const char *name : kMemberNames) {
        std::string found = FindInFolder(dir, name);
        std::string path = dir + "/" + (found.empty() ? name : found);
        struct stat st;
        if (found.empty() || stat(path.c_str(), &st) != 0)
            return Report(kExitRefused, "%s: missing", path.c_str());
        if (!S_ISREG(st.st_mode))
            return Report(kExitRefused, "%s: not a regular file", path.c_str());
        if (st.st_size == 0)
            return Report(kExitRefused, "%s: empty file (the installer cannot carry one)", path.c_str());
        if ((uint64_t)st.st_size >= kFileLimit)
            return Report(kExitRefused, "%s: 4 GiB or larger", path.c_str());
        paths.push_back(path);
    }

    /* Neither output may be the other, nor any input, by whatever name:
       writing one would destroy what the other or the packing needs. */
    FileIdentity outputId = IdentityOf(output), headerId = IdentityOf(header);
    for (const auto &[path, id] : {std::make_pair(output, outputId), std::make_pair(header, headerId)})
        if (!id.isRegular)
            return Report(kExitRefused, "%s: not a regular file; the outputs are written as files", path.c_str());
    if (SameFile(outputId, headerId))
        return Report(kExitUsage, "pack: -o %s and --crc-header %s are the same file", output.c_str(), header.c_str());
    for (const std::string &path : paths)
        for (const auto &[out, id] : {std::make_pair(output, outputId), std::make_pair(header, headerId)})
            if (SameFile(id, IdentityOf(path)))
                return Report(kExitUsage, "pack: %s is the client file %s; it would be overwritten", out.c_str(),
                              path.c_str());

    std::vector<std::vector<uint8_t>> streams;
    std::vector<uint64_t> sizes;
    std::string checks;   /* each member's size and CRC-32, the installer's member record */
    uint64_t total = 0;
    for (size_t k = 0; k < paths.size(); k++) {
        const std::string &path = paths[k];
        std::vector<uint8_t> data;
        std::string why;
        if (!ReadWholeFile(path, &data, &why))
            return Report(kExitIo, "%s", why.c_str());
        if (data.empty())
            return Report(kExitRefused, "%s: empty file (the installer cannot carry one)", path.c_str());
        /* Coding a large client file takes seconds: show which one it is. */
        ShowProgressLine("coding %zu/10 %s (%zu bytes)...", k + 1, kMemberNames[k], data.size());
        streams.push_back(LzhEncode(data.data(), data.size(), parse));
        sizes.push_back(data.size());
        char check[17];
        snprintf(check, sizeof check, "%08x%08x", (unsigned)data.size(), (unsigned)Crc32(data.data(), data.size()));
        checks += check;
        if (streams.back().empty())
            return Report(kExitRefused, "%s: cannot be coded without the member marker", path.c_str());
        total += streams.back().size() + 4;
        if (total + kInstallerAllowance >= kInstallerLimit)
            return Report(kExitRefused, "%s: payload too large, setup32.exe would reach 2 GiB", output.c_str());
    }
    ClearProgressLine();

    /* A CRC the record cannot carry is moved by one more byte after the last
       stream's coded bits; the decoder stops at the size and never reads it. */
    uint32_t crc = StreamsCrc(streams);
    while (CrcUnfit(crc)) {
        streams.back().push_back(0);
        crc = StreamsCrc(streams);
    }

    std::vector<uint8_t> payload = BuildPayload(streams);
    if (payload.size() + kInstallerAllowance >= kInstallerLimit)
        return Report(kExitRefused, "%s: payload too large, setup32.exe would reach 2 GiB", output.c_str());
    if (!PayloadSplitsBack(payload, streams))
        return Report(kExitRefused, "%s: the payload does not split back into its members", output.c_str());

    if (!WriteFile(output, payload.data(), payload.size()))
        return Report(kExitIo, "%s: cannot write", output.c_str());
    char text[768];
    int n = snprintf(text, sizeof text,
                     "/* Written by yelkpack pack: the CRC-32 of the payload's member streams,\n"
                     "   as the installer checks it. Compiled in through payload/crcrecord.cpp. */\n"
                     "#ifndef YELK_PAYLOAD_CRC_H\n"
                     "#define YELK_PAYLOAD_CRC_H\n"
                     "#define YELK_PAYLOAD_CRC 0x%08Xu\n"
                     "#define YELK_PAYLOAD_SIZE %zuu\n"
                     "/* Each member's decoded size and CRC-32, eight lowercase hex digits each. */\n"
                     "#define YELK_MEMBER_CHECKS \"%s\"\n"
                     "#endif\n",
                     (unsigned)crc, payload.size(), checks.c_str());
    if (!WriteFile(header, text, (size_t)n))
        return Report(kExitIo, "%s: cannot write", header.c_str());
    std::string failed;
    if (!CommitStagedFiles(&failed))
        return Report(kExitIo, "%s: cannot move into place", failed.c_str());
    PrintSummary(sizes, streams);
    printf("%s: %zu bytes, 10 members, CRC 0x%08X\n", output.c_str(), payload.size(), (unsigned)crc);
    return kExitOk;
}
