/*
 * A user-facing half of the platform interface that records every call, for
 * native tests, fuzzers and benchmarks. Bar widths are settable (0 = no dialog).
 */
#ifndef YELK_COMMON_UI_RECORD_H
#define YELK_COMMON_UI_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

struct RecordedUi {
    std::vector<int> errors;               /* error numbers in order */
    std::vector<std::string> errorTexts;   /* their texts */
    std::vector<std::string> statusTexts;  /* every status line set */
    std::vector<int32_t> scanPaints;       /* fill of every overall-bar paint */
    std::vector<std::pair<uint32_t, uint32_t>> filePaints; /* (done, total) per call */
    int wipes = 0;                         /* per-file bar wipes */
    int waitCursorDepth = 0;               /* >0 while the wait cursor shows */
    int waitCursorCalls = 0;               /* BeginWaitCursor calls */
    int fileBarWidth = 0;                  /* what FileBarWidth answers */
    int overallBarWidth = 0;               /* what OverallBarWidth answers */
    bool recordFilePaints = true;          /* off for benchmarks of long members */
    uint64_t filePaintCount = 0;           /* counted even when not recorded */
    void (*onFilePaint)() = nullptr;       /* called at every per-file paint (a test stops a run mid-member) */
    void (*onStatus)(const char *) = nullptr; /* called with every status line */
};

extern RecordedUi recordedUi;

/* Empties the record and sets the bar widths. */
void ResetRecordedUi(int fileBarWidth = 0, int overallBarWidth = 0);

#endif
