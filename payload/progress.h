/*
 * The arithmetic of the overall progress bar: the installer's size and the
 * filled width, kept in the session; the front end only paints.
 */
#ifndef YELK_PAYLOAD_PROGRESS_H
#define YELK_PAYLOAD_PROGRESS_H

#include <cstdint>
#include <cstdio>

#include "common/platform.h"

/* Size of an open stream; its position is left where it was. */
int32_t StreamSize(FILE *stream);

/* Overall fill for a read position: position x barWidth / size, in 64 bits. */
int32_t ScanFill(int64_t position, int32_t barWidth, int32_t size);

/* With a stream: measures session.setupSize once and recomputes
   session.overallFill from the read position. Then paints the bar. */
void DrawScanProgress(PaintContext dc, FILE *stream);

#endif
