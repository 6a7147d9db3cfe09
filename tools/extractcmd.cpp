/*
 * yelkpack extract: the headless installer. Runs what the wizard's Install
 * button runs, minus the windows: the destination folder, the reset, the
 * integrity check and opening of FILE, the extraction engine slice by slice,
 * and the clean-up of a failed run. An installation error [n] is printed as
 * one line and becomes the exit code n. The temporary member file lies in a
 * folder made for the run alone.
 */
#include "tools/yelkpack.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "common/messages.h"
#include "common/posix/posix_platform.h"
#include "common/session.h"
#include "payload/crcrecord.h"
#include "tools/examine.h"
#include "payload/container.h"
#include "payload/changes.h"
#include "payload/extract.h"
#include "payload/progress.h"
#include "payload/install.h"
#include "tools/inputfile.h"
#include "tools/pefile.h"
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
   whole file is never held in memory; a record across two blocks is found.
   1 when the CRC record was found; -1 when the file cannot be read (the
   integrity check then reports it as the installer would). */
static int FindRecordInFile(const InputFile &in, uint32_t *crc, char *memberText, int *haveMembers)
{
    if (fseeko(in.stream, 0, SEEK_SET) != 0)
        return -1;
    const size_t kKeep = sizeof(MemberCheckRecord) - 1;   /* a record across two blocks */
    static uint8_t block[65536 + sizeof(MemberCheckRecord)];
    size_t kept = 0, got;
    int found = 0;
    *haveMembers = 0;
    while ((!found || !*haveMembers) && (got = fread(block + kept, 1, sizeof block - kept, in.stream)) > 0) {
        size_t length = kept + got;
        if (!found)
            found = FindCrcRecord(block, length, crc);
        if (!*haveMembers)
            *haveMembers = FindMemberRecord(block, length, memberText);
        kept = length < kKeep ? length : kKeep;
        memmove(block, block + length - kept, kept);
    }
    return found ? 1 : ferror(in.stream) ? -1 : 0;
}

/* What FILE is, before anything is made: a regular file, an executable whose
   headers are whole and consistent (and, without --crc, carry the CRC record),
   or a bare payload, which needs --crc. kExitOk and the expected CRC in
   *expected (when not given), or the exit code of what was reported. */
static int CheckInstallerFile(const std::string &source, bool haveCrc, uint32_t *expected, char *memberText,
                              int *haveMembers)
{
    InputFile in;
    std::string why;
    int opened = OpenInputFile(source, &in, &why);
    if (opened < 0)
        return Report(kExitRefused, "%s", why.c_str());
    if (opened == 0)
        return kExitOk;   /* the installer's own check answers [2] */
    PeLayout layout;
    PeRead pe = ReadPeLayout(in, &layout);
    std::string problem;
    if (pe == kPeDamaged)
        problem = layout.damage;
    else if (pe == kPeCutShort)
        problem = "not a complete installer: it breaks off at byte " + std::to_string(in.size) + ", inside its headers";
    else if (pe == kPeOk && !PeCutShort(layout, in.size).empty())
        problem = "not a complete installer: it breaks off at byte " + std::to_string(in.size) + ", " +
                  PeCutShort(layout, in.size);
    int record = 0;
    *haveMembers = 0;
    if (problem.empty()) {
        uint32_t recordCrc = 0;
        record = FindRecordInFile(in, &recordCrc, memberText, haveMembers);
        if (!haveCrc && record == 1)
            *expected = recordCrc;
        if (!haveCrc && record == 0 && pe != kPeNotPe)
            problem = "no compiled-in CRC record: the installer is damaged";
    }
    CloseInputFile(&in);
    if (!problem.empty())
        return Report(kExitRefused, "%s: %s", source.c_str(), problem.c_str());
    if (haveCrc || record != 0)
        return kExitOk;

    /* A bare payload cut short has lost its end, and no CRC given by hand
       would mend it; a whole one has no record of its own. */
    InspectedFile file;
    int inspected = InspectFile(source, &file, &why);
    if (inspected != 1)
        return Report(inspected < 0 ? kExitRefused : kExitIo, "%s", why.c_str());
    std::string incomplete = IncompleteText(file);
    if (!incomplete.empty())
        return Report(kExitRefused, "%s: %s", source.c_str(), incomplete.c_str());
    return Report(kExitUsage, "%s: a bare payload carries no CRC; give --crc HEX", source.c_str());
}

/* The folder was made by this run and nothing is in it: it goes again. */
static void RemoveCreatedFolder()
{
    if (session.createdDestDir && RemoveFolder(session.destDir))
        session.createdDestDir = 0;
}

static int ReportBusy(const std::string &dir)
{
    return Report(kExitBusy, "extract: %s: another run is installing into this folder; nothing was done", dir.c_str());
}

/* The Install button's work and the wizard's answer to its result. The run
   owns its destination folder for its whole length (a lock that a second
   run finds taken), and every file operation of the core stays inside it. */
static int RunInstallation(const std::string &source, const std::string &dir)
{
    std::string folder = ToLinuxPath(session.destDir);
    ConfineToFolder(folder);
    /* The folder is made and locked here, before the core looks at it, so
       that of two runs started at once one makes it and the other finds it
       and its lock. A folder this run made goes again when the run fails. */
    bool made = mkdir(folder.c_str(), 0777) == 0;
    bool locked = false;
    struct stat st;
    if (made || (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        int lock = LockConfinedFolder(made);
        if (lock == 0 || lock == -2) {
            /* Unlocked, a second run could undo this one's journal under it:
               nothing is replayed or written. */
            int why = errno;
            /* A folder this run made but another run locked first is that
               run's now, and stays. */
            if (lock == 0)
                return ReportBusy(dir);
            if (made)
                rmdir(folder.c_str());
            return Report(kExitIo, "extract: %s: the folder cannot be locked (%s); nothing was done", dir.c_str(),
                          strerror(why));
        }
        locked = lock == 1;
    }

    StartResult start = StartInstallRun();
    if (made)
        session.createdDestDir = 1;
    if (start != kStartReady) {
        RemoveCreatedFolder();
        if (*UndoNote())
            Report(0, "extract: an unfinished run over %s cannot be undone past %s; its journal stays",
                   dir.c_str(), ToLinuxPath(UndoNote()).c_str());
        return ReportInstallError(LastErrorNumber());
    }
    if (LastErrorNumber() == kErrorKeptChanges)
        Report(0, "extract: an unfinished run over %s was undone, but files changed since were kept (%s); what "
                  "they replaced is in the backup folder or beside them",
               dir.c_str(), ToLinuxPath(UndoNote()).c_str());
    if (!locked) {
        /* What stands at the name is no folder (or cannot be opened as
           one): nothing was written into it. */
        fclose(session.setupStream);
        session.setupStream = nullptr;
        ShowError(kErrorCreateFolder);
        return ReportInstallError(LastErrorNumber());
    }

    int result;
    do
        result = PumpExtraction();
    while (result == kPumpMore && !StopSignalSeen());

    if (result == kPumpFinished && session.memberIndex > 0) {
        int written = 0;
        for (int i = 0; i < kMemberCount; i++)
            written += session.wroteMember[i];
        printf("%s: %d files installed into %s, %d left in place\n", source.c_str(), written, dir.c_str(),
               session.memberIndex - written);
        return kExitOk;
    }
    if (!CleanupInstall())
        return Report(kExitUndone, "extract: the run could not be undone past %s; it and its journal stay for the "
                                   "next run to finish",
                      ToLinuxPath(UndoNote()).c_str());
    if (result == kPumpMore)   /* stopped by a signal: cleaned up as an aborted run */
        return Report(kExitIo, "extract: stopped by a signal; what this run wrote is removed");
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
    if (int refused = RefuseBackslash("extract", source))
        return refused;
    if (int refused = RefuseBackslash("extract", dir))
        return refused;

    uint32_t expected = 0;
    char memberText[kMemberRecordText + 1];
    int haveMembers = 0;
    if (haveCrc) {
        char *end = nullptr;
        unsigned long long v = strtoull(crcText.c_str(), &end, 16);
        if (crcText.empty() || *end != '\0' || crcText[0] == '-' || v > 0xFFFFFFFFull)
            return Report(kExitUsage, "extract: --crc takes a hexadecimal CRC-32, not '%s'", crcText.c_str());
        expected = (uint32_t)v;
    }
    if (int status = CheckInstallerFile(source, haveCrc, &expected, memberText, &haveMembers))
        return status;
    /* Each member is checked against the member record when the file has
       one (a bare payload has none, and its members go unchecked). */
    memset(memberChecks, 0, sizeof memberChecks);
    if (haveMembers && !ReadMemberChecks(memberText))
        return Report(kExitRefused, "%s: the member record is damaged", source.c_str());

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
    /* The core reads FILE by its own path, without following a link that
       lies inside DIR: a link the user named is resolved here, once. */
    char resolved[PATH_MAX];
    std::string real = realpath(source.c_str(), resolved) ? resolved : source;
    if (int refused = RefuseBackslash("extract", real))
        return refused;
    SetProgramPath(ToWindowsPath(real));

    /* Without a folder of its own for the temporary file the run cannot
       collect a member: the installer's answer to that is [11]. */
    if (!MakeRunTempFolder()) {
        if (errno == ENOLCK)
            Report(0, "extract: its temporary folder cannot be locked (%s)", strerror(errno));
        return ReportInstallError(11);
    }
    int code = RunInstallation(source, dir);
    RemoveRunTempFolder();
    /* A run that could not be undone says so by its own code, signal or not. */
    if (code != kExitUndone)
        EndByStopSignal();
    return code;
}
