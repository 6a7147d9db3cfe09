/* Installer size and overall fill for the overall progress bar. */
#include "payload/progress.h"

#include "common/geometry.h"
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
    /* The product is formed before the division, in 64 bits: exact for any
       installer below 2 GiB. */
    if (position <= 0 || barWidth <= 0 || size <= 0)
        return 0;
    if (position >= size)
        return barWidth;
    return (int32_t)MulDivDown((uint32_t)position, (uint32_t)barWidth, (uint32_t)size);
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
