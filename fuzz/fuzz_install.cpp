// Fuzz target for the whole headless installation: arbitrary installer bytes
// through OpenPayload, PumpExtraction until the run ends, and CleanupInstall on
// failure, into a sandbox folder that also holds the temporary folder and the
// drive root. The first input byte picks the options and what already stands
// in the destination; the rest is the installer file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/posix/posix_platform.h"
#include "common/posix/ui_record.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/extract.h"
#include "payload/changes.h"
#include "payload/install.h"
#include "payload/marker.h"
#include "payload/progress.h"
#include "payload/destdir.h"

namespace {

/* Largest decoded size let through: a size field of 4 GiB would only decode
   zeros for minutes. */
const uint32_t kDecodedCap = 64 * 1024;

std::string sandbox;
uint32_t expectedCrc;

void Check(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_install: %s\n", what);
        abort();
    }
}

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

void RemoveTree(const std::string &path) { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

void WriteFile(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    Check(f != nullptr, "cannot write into the sandbox");
    fwrite(data, 1, size, f);
    fclose(f);
}

void RemoveSandbox() { RemoveTree(sandbox); }

void SetUpSandbox()
{
    char pattern[] = "/tmp/yelk-fuzz-install-XXXXXX";
    Check(mkdtemp(pattern) != nullptr, "no sandbox");
    sandbox = pattern;
    mkdir((sandbox + "/tmp").c_str(), 0777);
    setenv("TMPDIR", (sandbox + "/tmp").c_str(), 1);
    SetDriveRoot(sandbox + "/drives");
    atexit(RemoveSandbox);
}

/* The member streams as the scan will cut them (the installer's own
   matcher); false when any member's size field exceeds the cap. */
bool DecodedSizesWithinCap(const uint8_t *data, size_t size)
{
    char marker[kMarkerLength + 1];
    BuildMarker(marker);
    MarkerMatcher matcher = StartMatcher(reinterpret_cast<const uint8_t *>(marker));
    int members = 0;
    bool open = false;
    uint8_t head[4];
    size_t headLength = 0;
    auto put = [&](const uint8_t *bytes, size_t count) {
        for (size_t k = 0; k < count && headLength < 4; k++)
            head[headLength++] = bytes[k];
    };
    auto withinCap = [&]() {
        if (headLength < 4)
            return true;
        uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | (uint32_t)head[3] << 24;
        return n <= kDecodedCap;
    };
    for (size_t at = 0; at < size;) {
        MarkerRun run = MatchMarker(matcher, data + at, size - at);
        if (open) {
            put(matcher.marker, (size_t)run.released);
            put(data + at, run.memberBytes);
        }
        at += run.consumed;
        if (!run.markerEnded)
            continue;
        if (open) {
            if (!withinCap())
                return false;
            if (++members == kMemberCount)
                return true;
        }
        open = true;
        headLength = 0;
    }
    if (open)
        put(matcher.marker, (size_t)matcher.held);
    return !open || withinCap();
}

}  // namespace

uint32_t ExpectedPayloadCrc() { return expectedCrc; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if (sandbox.empty())
        SetUpSandbox();
    uint8_t options = data[0];
    data++;
    size--;
    if (!DecodedSizesWithinCap(data, size))
        return -1;

    const std::string installer = sandbox + "/setup.bin";
    const std::string dest = sandbox + "/dest";
    RemoveTree(dest);
    WriteFile(installer, data, size);

    // What an earlier installation may have left.
    if (options & 4) {
        mkdir(dest.c_str(), 0777);
        static const uint8_t old[] = "old";
        WriteFile(dest + "/yelk32.exe", old, 3);
        WriteFile(dest + "/yelk.ini", old, 3);
        WriteFile(dest + "/yelk.gid", old, 3);
        if (options & 8)
            WriteFile(dest + "/backup", old, 3);
        if (options & 16)
            chmod((dest + "/yelk32.exe").c_str(), 0444);
    }

    ResetRecordedUi(0, (options & 32) ? 400 : 0);
    recordedUi.recordFilePaints = false;
    session = InstallSession();
    strcpy(session.destDir, ToWindowsPath(dest).c_str());
    session.makeBackups = options & 1;
    session.keepSettings = (options >> 1) & 1;
    SetProgramPath(ToWindowsPath(installer));

    ResetInstall();   /* PayloadCrc matches the marker ResetInstall builds */
    expectedCrc = PayloadCrc(ToWindowsPath(installer).c_str());
    if (StartInstallRun() != kStartReady)
        return 0;

    int result;
    do
        result = PumpExtraction();
    while (result == kPumpMore);
    Check(result >= kPumpFailed && result <= kPumpBackupFailed, "unexpected result");
    Check(session.setupStream == nullptr && session.memberStream == nullptr, "a stream stays open");
    Check(session.memberIndex <= kMemberCount, "member index out of range");
    Check(result != kPumpFinished || session.memberIndex == 0 || session.memberIndex == kMemberCount,
          "success with fewer than ten members");

    struct stat st;
    Check(lstat(ToLinuxPath(session.tempPath).c_str(), &st) != 0, "temporary file left behind");
    if (result == kPumpFinished && session.memberIndex > 0) {
        for (int i = 0; i < session.memberIndex; i++) {
            char path[kMemberPathSize];
            MemberPath(path, i);
            Check(!session.wroteMember[i] || lstat(ToLinuxPath(path).c_str(), &st) == 0, "written file missing");
        }
    } else {
        CleanupInstall();
        // Nothing that this run wrote survives the clean-up.
        for (int i = 0; i < kMemberCount; i++) {
            char path[kMemberPathSize];
            MemberPath(path, i);
            bool before = (options & 4) && (i == 0 || i == 5);
            Check(before || lstat(ToLinuxPath(path).c_str(), &st) != 0, "a written file survives the clean-up");
        }
    }
    CleanupInstall();  // the next input starts from a clean folder either way
    // Neither the journal nor a file of the run's own (a half-decoded member,
    // a file set aside) outlives a run that ended.
    if (DIR *d = opendir(dest.c_str())) {
        while (dirent *e = readdir(d))
            Check(strncmp(e->d_name, "yk", 2) != 0 && strcmp(e->d_name, kJournalName) != 0,
                  "a file of the run's own left behind");
        closedir(d);
    }
    return 0;
}
