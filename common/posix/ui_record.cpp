/* Recording implementation of the user-facing half of the platform interface. */
#include "common/platform.h"
#include "common/posix/ui_record.h"

RecordedUi recordedUi;

void ResetRecordedUi(int fileBarWidth, int overallBarWidth)
{
    recordedUi = RecordedUi();
    recordedUi.fileBarWidth = fileBarWidth;
    recordedUi.overallBarWidth = overallBarWidth;
}

void *BeginWaitCursor()
{
    recordedUi.waitCursorDepth++;
    recordedUi.waitCursorCalls++;
    return &recordedUi;
}

void EndWaitCursor(void *) { recordedUi.waitCursorDepth--; }

void ShowErrorBox(int number, const char *text)
{
    recordedUi.errors.push_back(number);
    recordedUi.errorTexts.push_back(text);
}

void SetStatusText(const char *text)
{
    recordedUi.statusTexts.push_back(text);
    if (recordedUi.onStatus)
        recordedUi.onStatus(text);
}

int FileBarWidth() { return recordedUi.fileBarWidth; }

int OverallBarWidth() { return recordedUi.overallBarWidth; }

void PaintScanBar(PaintContext, int32_t fill) { recordedUi.scanPaints.push_back(fill); }

void DrawFileProgress(PaintContext, uint32_t done, uint32_t total)
{
    recordedUi.filePaintCount++;
    if (recordedUi.onFilePaint)
        recordedUi.onFilePaint();
    if (recordedUi.recordFilePaints)
        recordedUi.filePaints.push_back({done, total});
}

void WipeFileBar() { recordedUi.wipes++; }
