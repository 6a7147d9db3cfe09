/*
 * yelkpack extract: the headless installer. Runs what the wizard's Install
 * button runs, minus the windows: the destination folder, the reset, the
 * integrity check and opening of FILE, the extraction engine slice by slice,
 * and the clean-up of a failed run. An installation error [n] is printed as
 * one line and becomes the exit code n. The temporary member file lies in a
 * folder made for the run alone.
 */
#include "tools/yelkpack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/messages.h"
#include "common/posix/posix_platform.h"
#include "common/session.h"
#include "payload/crcrecord.h"
#include "tools/examine.h"
#include "payload/container.h"
#include "payload/extract.h"
#include "payload/progress.h"
#include "payload/install.h"
#include "tools/runtemp.h"

/* Prints "Yelk Installation Error [n]: " and the message, each run of line
   breaks folded into one space; returns n as the exit code. */
static int ReportInstallError(int number)
{
    if (number <= 0)
        return Report(kExitIo, "extract: the installation failed without a message");
    std::string line;
    bool inBreak = false;
    for (const char *p = ErrorText(number); *p; p++) {
        if (*p == '\n' || *p == '\r') {
            inBreak = true;
            continue;
        }
        if (inBreak)
            line += ' ';
        inBreak = false;
        line += *p;
    }
    fprintf(stderr, "Yelk Installation Error [%d]: %s\n", number, line.c_str());
    return number;
}

/* The CRC record compiled into an installer, and the member record beside
   it (its text into memberText, *haveMembers set), read in blocks so that the
   whole file is never held in memory. 1 when the CRC record was found; -1
   when the file cannot be read (the integrity check then reports it as the
   installer would). */
static int FindRecordInFile(const std::string &path, uint32_t *crc, char *memberText, int *haveMembers)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    const size_t kKeep = sizeof(MemberCheckRecord) - 1;   /* a record across two blocks */
    static uint8_t block[65536 + sizeof(MemberCheckRecord)];
    size_t kept = 0, got;
    int found = 0;
    *haveMembers = 0;
    while ((!found || !*haveMembers) && (got = fread(block + kept, 1, sizeof block - kept, f)) > 0) {
        size_t length = kept + got;
        if (!found)
            found = FindCrcRecord(block, length, crc);
        if (!*haveMembers)
            *haveMembers = FindMemberRecord(block, length, memberText);
        kept = length < kKeep ? length : kKeep;
        memmove(block, block + length - kept, kept);
    }
    int failed = ferror(f);
    fclose(f);
    return found ? 1 : failed ? -1 : 0;
}

/* The Install button's work and the wizard's answer to its result. */
static int RunInstallation(const std::string &source, const std::string &dir)
{
    if (StartInstallRun() != kStartReady)
        return ReportInstallError(LastErrorNumber());

    int result;
    do
        result = PumpExtraction();
    while (result == kPumpMore);

    if (result == kPumpFinished && session.memberIndex > 0) {
        int written = 0;
        for (int i = 0; i < kMemberCount; i++)
            written += session.wroteMember[i];
        printf("%s: %d files installed into %s, %d left in place\n", source.c_str(), written, dir.c_str(),
               session.memberIndex - written);
        return kExitOk;
    }
    CleanupInstall();
    if (result == kPumpFinished) {
        /* The file ended without a single member. */
        ShowError(kErrorNoMember);
    }
    return ReportInstallError(LastErrorNumber());
}

int ExtractCommand(const std::vector<std::string> &args)
{
    std::string source, dir, crcText;
    bool haveCrc = false, backups = true, keepSettings = true;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--crc") {
            if (i + 1 >= args.size())
                return UsageError("extract");
            crcText = args[++i];
            haveCrc = true;
        } else if (args[i] == "--no-backups") {
            backups = false;
        } else if (args[i] == "--no-keep-settings") {
            keepSettings = false;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Report(kExitUsage, "extract: unknown option '%s'", args[i].c_str());
        } else if (source.empty()) {
            source = args[i];
        } else if (dir.empty()) {
            dir = args[i];
        } else {
            return Report(kExitUsage, "extract: unexpected argument '%s'", args[i].c_str());
        }
    }
    if (source.empty() || dir.empty())
        return UsageError("extract");

    uint32_t expected = 0, recordCrc = 0;
    char memberText[kMemberRecordText + 1];
    int haveMembers = 0;
    int record = FindRecordInFile(source, &recordCrc, memberText, &haveMembers);
    /* Each member is checked against the member record when the file has
       one (a bare payload has none, and its members go unchecked). */
    memset(memberChecks, 0, sizeof memberChecks);
    if (haveMembers && !ReadMemberChecks(memberText))
        return Report(kExitRefused, "%s: the member record is damaged", source.c_str());
    if (haveCrc) {
        char *end = nullptr;
        unsigned long long v = strtoull(crcText.c_str(), &end, 16);
        if (crcText.empty() || *end != '\0' || crcText[0] == '-' || v > 0xFFFFFFFFull)
            return Report(kExitUsage, "extract: --crc takes a hexadecimal CRC-32, not '%s'", crcText.c_str());
        expected = (uint32_t)v;
    } else if (record == 1) {
        expected = recordCrc;
    } else if (record == 0) {
        /* A file cut short has lost its record, or never reaches its payload's
           end: it is damaged, and no CRC given by hand would mend it. */
        InspectedFile file;
        std::string why;
        if (!InspectFile(source, &file, &why))
            return Report(kExitIo, "%s", why.c_str());
        std::string incomplete = IncompleteText(file);
        if (!incomplete.empty())
            return Report(kExitRefused, "%s: %s", source.c_str(), incomplete.c_str());
        return Report(kExitUsage, "%s: no compiled-in CRC; give --crc HEX", source.c_str());
    }

    std::string destDir = ToWindowsPath(dir);
    if (destDir.size() >= sizeof session.destDir)
        return Report(kExitUsage, "extract: %s is longer than the installer's %d characters",
                      destDir.c_str(), (int)sizeof session.destDir - 1);

    /* The options as the Install button reads them from the wizard. */
    strcpy(session.destDir, destDir.c_str());
    session.makeBackups = backups;
    session.keepSettings = keepSettings;
    session.createShortcuts = 0;
    SetExpectedPayloadCrc(expected);
    SetProgramPath(ToWindowsPath(source));

    /* Without a folder of its own for the temporary file the run cannot
       collect a member: the installer's answer to that is [11]. */
    if (!MakeRunTempFolder())
        return ReportInstallError(11);
    int code = RunInstallation(source, dir);
    RemoveRunTempFolder();
    return code;
}
