/*
 * The decoder on each of the ten client members: packs the files of a folder
 * with the packer's best parse (once, into DIR/packed/), then decodes every
 * member in payload order through LzhDecode and checks it against its file.
 * Under callgrind (bench/members_callgrind.sh) each member is one dump.
 *
 *   bench_members DIR --pack    code the ten members into DIR/packed/
 *   bench_members DIR           decode them once each, in order
 */
#include <cstdio>
#include <cstring>
#include <string>

#include "common/posix/ui_record.h"
#include "payload/extract.h"
#include "payload/lzhuf.h"
#include "tests/support/filebytes.h"
#include "tools/lzhenc.h"

using testsupport::Bytes;

/* One member through LzhDecode; the callgrind run dumps its counts on the
   way out of here, so it must stay a call of its own. */
__attribute__((noinline)) static bool DecodeMember(const Bytes &stream, Bytes *got)
{
    return testsupport::DecodeStream(stream, got);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_members DIR [--pack]\n");
        return 64;
    }
    std::string dir = argv[1];
    bool pack = argc > 2 && strcmp(argv[2], "--pack") == 0;
    ResetRecordedUi(353, 0);   /* the per-file bar's width in pixels */
    recordedUi.recordFilePaints = false;

    for (const char *name : kMemberNames) {
        Bytes data = testsupport::ReadFileBytes(dir + "/" + name);
        std::string packed = dir + "/packed/" + name + ".lzh";
        if (data.empty()) {
            fprintf(stderr, "bench_members: %s/%s: missing or empty\n", dir.c_str(), name);
            return 65;
        }
        if (pack) {
            Bytes stream = LzhEncode(data.data(), data.size(), kParseBest);
            if (stream.empty() || !testsupport::WriteFileBytes(packed, stream)) {
                fprintf(stderr, "bench_members: cannot write %s\n", packed.c_str());
                return 73;
            }
            continue;
        }
        Bytes stream = testsupport::ReadFileBytes(packed), got;
        if (!DecodeMember(stream, &got) || got != data) {
            fprintf(stderr, "bench_members: %s does not decode to %s\n", packed.c_str(), name);
            return 1;
        }
        printf("%s %zu %zu\n", name, data.size(), stream.size());
    }
    return 0;
}
