/*
 * The tool's half of the platform interface: the user-facing calls of the
 * core do nothing visible (an error box is remembered, and the command prints
 * its own one-line report), and the expected CRC is whatever the command set.
 */
#include "common/platform.h"
#include "payload/container.h"
#include "tools/yelkpack.h"

#include <string>

static uint32_t expectedCrc;
static int lastError;
static std::string lastErrorText;

void SetExpectedPayloadCrc(uint32_t crc) { expectedCrc = crc; }
uint32_t ExpectedPayloadCrc() { return expectedCrc; }

int LastErrorNumber() { return lastError; }
const char *LastErrorText() { return lastErrorText.c_str(); }

void *BeginWaitCursor() { return nullptr; }
void EndWaitCursor(void *) {}

void ShowErrorBox(int number, const char *text)
{
    lastError = number;
    lastErrorText = text;
}

void SetStatusText(const char *) {}
int FileBarWidth() { return 0; }
int OverallBarWidth() { return 0; }
void PaintScanBar(PaintContext, int32_t) {}
void DrawFileProgress(PaintContext, uint32_t, uint32_t) {}
void WipeFileBar() {}
