/*
 * The payload container: the walk over the installer file that follows the
 * payload's parts with the marker matcher and hashes the member bytes, the
 * CRC-32 it gives, and OpenPayload, which checks the installer's own file
 * before extraction.
 */
#include "payload/container.h"

#include "payload/crc.h"
#include "payload/progress.h"
#include "common/messages.h"
#include "common/platform.h"
#include "common/session.h"

enum {
    kBlockSize = 16384      /* bytes read per block */
};

static uint8_t blockBuffer[kBlockSize];

PayloadWalk StartPayloadWalk(const uint8_t *marker)
{
    return PayloadWalk{StartMatcher(marker), kBeforePayload, 0xFFFFFFFFu};
}

MarkerRun WalkPayload(PayloadWalk &w, const uint8_t *data, size_t size)
{
    MarkerRun run = MatchMarker(w.matcher, data, size);
    /* Ahead of the first marker nothing is hashed. */
    if (w.part != kBeforePayload && (run.released > 0 || run.memberBytes > 0)) {
        w.part = kInMember;
        w.crc = CrcUpdate(w.crc, w.matcher.marker, (size_t)run.released);
        w.crc = CrcUpdate(w.crc, data, run.memberBytes);
    }
    if (run.markerEnded)
        w.part = w.part == kAfterMarker ? kPayloadEnded : kAfterMarker;
    return run;
}

uint32_t PayloadCrc(const char *path)
{
    FILE *file = OpenFileStream(path, "rb");
    if (!file)
        return 0;
    void *previousCursor = BeginWaitCursor();

    PayloadWalk walk = StartPayloadWalk(reinterpret_cast<const uint8_t *>(session.marker));
    while (walk.part != kPayloadEnded) {
        size_t got = fread(blockBuffer, 1, kBlockSize, file);
        if (got == 0)
            break;
        for (size_t at = 0; at < got && walk.part != kPayloadEnded;)
            at += WalkPayload(walk, blockBuffer + at, got - at).consumed;
    }

    EndWaitCursor(previousCursor);
    int failed = ferror(file);
    fclose(file);
    return failed ? 0 : ~walk.crc;
}

int OpenPayload()
{
    char path[kLongTextSize];
    uint32_t crc = 0;
    if (GetProgramPath(path, sizeof path) > 0)
        crc = PayloadCrc(path);

    if (crc == 0) {
        ShowError(kErrorCheckInstaller);
        return 0;
    }
    if (crc != ExpectedPayloadCrc()) {
        ShowError(kErrorCorrupt);
        return 0;
    }
    session.setupStream = OpenFileStream(path, "rb");
    if (!session.setupStream) {
        ShowError(kErrorReadInstaller);
        return 0;
    }
    SetStatusText("Scanning files...");
    DrawScanProgress(nullptr, session.setupStream);
    return 1;
}
