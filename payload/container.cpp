/*
 * The payload container: the CRC-32 over the member streams of the installer
 * file, found by the same byte-wise marker matcher the extraction engine uses,
 * and OpenPayload, which checks the installer's own file before extraction.
 */
#include "container.h"

#include "crc.h"
#include "progress.h"
#include "../common/messages.h"
#include "../common/platform.h"
#include "../common/session.h"

enum {
    kMarkerLength = 4,     /* "ARNI" */
    kBlockSize = 1024,     /* bytes read per block */
    kProgramPathSize = 899 /* buffer for the installer's own path */
};

/* Where the scan stands relative to the payload. */
enum ScanState {
    kBeforePayload,        /* no marker seen yet: nothing is hashed */
    kAfterMarker,          /* a marker just ended; a second one ends the payload */
    kInMember,             /* inside a member stream */
    kDone                  /* the terminating pair has been read */
};

static uint8_t blockBuffer[kBlockSize];

uint32_t PayloadCrc(const char *path)
{
    FILE *file = OpenFileStream(path, "rb");
    if (!file)
        return 0;
    void *previousCursor = BeginWaitCursor();

    const uint8_t *marker = reinterpret_cast<const uint8_t *>(session.marker);
    int matched = 0;                /* marker bytes matched so far; survives block ends */
    ScanState state = kBeforePayload;
    uint32_t reg = 0xFFFFFFFFu;

    while (state != kDone) {
        size_t got = fread(blockBuffer, 1, kBlockSize, file);
        if (got == 0)
            break;
        for (size_t k = 0; k < got; k++) {
            uint8_t b = blockBuffer[k];
            if (b == marker[matched]) {
                if (++matched < kMarkerLength)
                    continue;
                matched = 0;
                if (state == kAfterMarker) {
                    state = kDone;
                    break;
                }
                state = kAfterMarker;
                continue;
            }
            /* b breaks (or misses) a match. The bytes matched so far were not
               a marker after all: inside the payload they are member bytes.
               b itself is not tried as the start of a new marker. */
            if (state != kBeforePayload) {
                state = kInMember;
                for (int j = 0; j < matched; j++)
                    reg = CrcStep(reg, marker[j]);
                reg = CrcStep(reg, b);
            }
            matched = 0;
        }
    }

    EndWaitCursor(previousCursor);
    int failed = ferror(file);
    fclose(file);
    return failed ? 0 : ~reg;
}

int OpenPayload()
{
    char path[kProgramPathSize];
    uint32_t crc = 0;
    if (GetProgramPath(path, sizeof path) > 0)
        crc = PayloadCrc(path);

    if (crc == 0) {
        ShowErrorBox(2, ErrorText(2));
        return 0;
    }
    if (crc != ExpectedPayloadCrc()) {
        ShowErrorBox(10, ErrorText(10));
        return 0;
    }
    session.setupStream = OpenFileStream(path, "rb");
    if (!session.setupStream) {
        ShowErrorBox(9, ErrorText(9));
        return 0;
    }
    SetStatusText("Scanning files...");
    DrawScanProgress(nullptr, session.setupStream);
    return 1;
}
