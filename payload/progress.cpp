/* Installer size and overall fill for the overall progress bar. */
#include "payload/progress.h"

#include "common/session.h"

int32_t StreamSize(FILE *stream)
{
    long here = ftell(stream);
    fseek(stream, 0, SEEK_END);
    long size = ftell(stream);
    fseek(stream, here, SEEK_SET);
    return (int32_t)size;
}

int32_t ScanFill(int64_t position, int32_t barWidth, int32_t size)
{
    /* The product is formed before the division; 64 bits keep it exact for
       any installer below 2 GiB. */
    return (int32_t)(position * barWidth / size);
}

void DrawScanProgress(PaintContext dc, FILE *stream)
{
    if (stream) {
        if (session.setupSize == 0)
            session.setupSize = StreamSize(stream);
        if (session.setupSize > 0)
            session.overallFill = ScanFill(ftell(stream), OverallBarWidth(), session.setupSize);
    }
    PaintScanBar(dc, session.overallFill);
}
