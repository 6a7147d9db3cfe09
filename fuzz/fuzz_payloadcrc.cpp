// Fuzz target for PayloadCrc: any bytes as the installer file. The result must
// not depend on where the 16 KB read blocks fall, so the same bytes behind
// up to a block's worth of plain bytes (no marker letter among them) must give
// the same CRC; the first two input bytes choose how many.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common/posix/posix_platform.h"
#include "common/posix/ui_record.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/marker.h"

uint32_t ExpectedPayloadCrc() { return 0; }

static std::string FilePath()
{
    const char *tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/yelk-fuzz-crc-" + std::to_string(getpid());
}

static uint32_t CrcOfFile(const std::string &path, const uint8_t *lead, size_t leadSize, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    fwrite(lead, 1, leadSize, f);
    fwrite(data, 1, size, f);
    fclose(f);
    ResetRecordedUi(0, 0);
    uint32_t crc = PayloadCrc(ToWindowsPath(path).c_str());
    if (recordedUi.waitCursorDepth != 0 || recordedUi.waitCursorCalls != 1)
        abort();
    return crc;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BuildMarker(session.marker);
    static const std::string path = FilePath();
    static uint8_t lead[16383];
    memset(lead, 'x', sizeof lead);
    size_t leadSize = size >= 2 ? 1 + (data[0] | data[1] << 8) % sizeof lead : 0;

    uint32_t plain = CrcOfFile(path, lead, 0, data, size);
    uint32_t shifted = CrcOfFile(path, lead, leadSize, data, size);
    unlink(path.c_str());
    if (plain != shifted)
        abort();
    return 0;
}
