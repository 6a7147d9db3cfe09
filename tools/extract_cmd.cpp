/*
 * yelkpack extract: checks an installer's or a bare payload's CRC as the
 * installer does and decodes every member into a folder.
 */
#include "yelkpack.h"
#include "inspect.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "common/messages.h"
#include "payload/lzhuf.h"

/* A message box text on one line: its line breaks become spaces. */
static std::string OneLine(const char *text)
{
    std::string line;
    for (const char *p = text; *p; p++) {
        if (*p != '\n')
            line += *p;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return line;
}

int ExtractCommand(const std::vector<std::string> &args)
{
    std::string source, dir, crcText;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--crc" && i + 1 < args.size())
            crcText = args[++i];
        else if (source.empty())
            source = args[i];
        else if (dir.empty())
            dir = args[i];
        else
            return Report(kExitUsage, "extract: unexpected argument '%s'", args[i].c_str());
    }
    if (source.empty() || dir.empty())
        return Report(kExitUsage, "usage: yelkpack extract FILE DIR [--crc HEX]");

    InspectedFile file;
    std::string why;
    if (!InspectFile(source, &file, &why))
        return Report(kExitIo, "%s", why.c_str());
    uint32_t expected;
    if (!crcText.empty()) {
        char *end;
        unsigned long v = strtoul(crcText.c_str(), &end, 16);
        if (*end || crcText.empty() || v > 0xFFFFFFFFul)
            return Report(kExitUsage, "extract: --crc takes a hexadecimal CRC-32, not '%s'", crcText.c_str());
        expected = (uint32_t)v;
    } else if (file.hasRecord) {
        expected = file.recordCrc;
    } else {
        return Report(kExitUsage, "%s: no compiled-in CRC; give --crc HEX", source.c_str());
    }
    SetExpectedPayloadCrc(expected);

    /* The installer's order: a CRC of 0 is [2], a wrong one [10]. */
    int error = file.crc == 0 ? 2 : file.crc != expected ? 10 : 0;
    if (error)
        return Report(error, "%s: error [%d]: %s", source.c_str(), error, OneLine(ErrorText(error)).c_str());
    const PayloadScan &scan = file.scan;
    if (!scan.terminated || scan.members.size() != 10)
        return Report(kExitRefused, "%s: %zu members instead of 10", source.c_str(), scan.members.size());

    mkdir(dir.c_str(), 0777);
    FILE *in = fopen(source.c_str(), "rb");
    if (!in)
        return Report(kExitIo, "%s: cannot open", source.c_str());
    for (size_t k = 0; k < 10; k++) {
        std::string target = dir + "/" + kMemberNames[k];
        FILE *out = fopen(target.c_str(), "wb");
        if (!out) {
            fclose(in);
            return Report(kExitIo, "%s: cannot create", target.c_str());
        }
        bool ok = fseek(in, (long)scan.members[k].offset, SEEK_SET) == 0 && LzhDecode(in, out) == 1;
        ok = fclose(out) == 0 && ok;
        if (!ok) {
            fclose(in);
            return Report(kExitIo, "%s: decoding failed", target.c_str());
        }
    }
    fclose(in);
    printf("%s: 10 files into %s\n", source.c_str(), dir.c_str());
    return kExitOk;
}
