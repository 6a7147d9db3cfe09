// The 1989 public program's way of decoding an LZHUF member (classic_lzhuf.cpp),
// the benchmark's yardstick for LzhDecode.
#ifndef YELK_BENCH_CLASSIC_LZHUF_H
#define YELK_BENCH_CLASSIC_LZHUF_H

#include <cstdio>

// Decodes one member stream (4-byte little-endian size, then the coded bits)
// from in to out, printing the running count to progress as that program
// does; the bytes written, or -1 when the size field is cut short.
long ClassicDecode(FILE *in, FILE *out, FILE *progress);

#endif
