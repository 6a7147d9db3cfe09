/*
 * The extraction engine. PumpExtraction reads the installer file in slices of
 * at most 15001 bytes and splits it at the member marker (marker.h);
 * each member's raw bytes are collected in a temporary file and then passed
 * through the backup policy and the decoder into the destination folder.
 * CleanupInstall undoes what a failed or cancelled run did, from its journal.
 */
#include "payload/extract.h"

#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/session.h"
#include "payload/backup.h"
#include "payload/crc.h"
#include "payload/changes.h"
#include "payload/lzhuf.h"
#include "payload/marker.h"
#include "payload/progress.h"

static const char kTempName[] = "yelk.tmp";

enum {
    kScanBlock = 16384     /* installer bytes read at a time, never past the slice */
};
static const char kTempFallback[] = "c:\\yelk.tmp";

/* Deletes a file; one more attempt when the first fails, then gives up. */
static void DeleteFileTwice(const char *path)
{
    if (!DeleteFileAt(path))
        DeleteFileAt(path);
}

/* Closes a stream this run wrote; 1 when every byte reached the file. The
   last buffered bytes are flushed and the stream's error state tested before
   the close, since a C library may report success from a close whose final
   write failed. */
static int CloseWrittenStream(FILE *stream)
{
    int ok = fflush(stream) == 0 && !ferror(stream);
    if (fclose(stream) != 0)
        ok = 0;
    return ok;
}

static void CloseSetupStream()
{
    if (session.setupStream) {
        fclose(session.setupStream);
        session.setupStream = nullptr;
    }
}

/* Length of the part of path up to and including its last separator (or its
   drive when it has no separator): the folder a sibling file name goes after. */
static size_t FolderPrefixLength(const char *path)
{
    size_t head = (path[0] != '\0' && path[1] == ':') ? 2 : 0;
    for (size_t i = head; path[i] != '\0'; i++)
        if (path[i] == '\\' || path[i] == '/')
            head = i + 1;
    return head;
}

static uint8_t scanBlock[kScanBlock];

void ResetInstall()
{
    session.markerPos = 0;
    session.sliceCount = 0;
    session.memberIndex = 0;
    session.settingsPolicy = kSettingsUndecided;
    session.createdDestDir = 0;
    session.abortRequested = 0;
    session.overallFill = 0;
    session.setupSize = 0;
    /* The streams are forgotten, not closed: callers close them first. */
    session.setupStream = nullptr;
    session.memberStream = nullptr;
    session.journalStream = nullptr;
    session.tempPath[0] = '\0';
    session.backupDir[0] = '\0';
    memset(session.wroteMember, 0, sizeof session.wroteMember);
    ResetChanges();
    BuildMarker(session.marker);
}

DestDirResult PrepareInstallRun()
{
    ResetInstall();
    ShowScanStatus();
    DrawScanProgress(nullptr, nullptr);
    DestDirResult result = CreateDestDir();
    if (result != kDestDirReady)
        return result;
    /* A run that was killed over this folder left its journal: its steps are
       undone first, or this run would take its new files for the user's.
       Nothing is moved through a link or junction in the folder. */
    ReplayResult replay = LinkFreeDestination() ? ReplayJournal() : kReplayRefused;
    if (replay == kReplayRefused || replay == kReplayStuck) {
        ShowError(kErrorBackupMove);
        return kDestDirFailed;
    }
    if (replay == kReplayKept)
        ShowError(kErrorKeptChanges);
    return result;
}

void ShowScanStatus()
{
    char path[kMemberPathSize];
    MemberPath(path, session.memberIndex);
    PathParts parts;
    SplitPath(path, &parts);

    char text[sizeof parts.name + sizeof parts.ext + 32];
    if (session.overallFill > 0 && parts.name[0] != '\0')
        snprintf(text, sizeof text, "Scanning file: %s%s", parts.name, parts.ext);
    else
        snprintf(text, sizeof text, "Scanning files...");
    SetStatusText(text);
}

/* tempPath: the temporary folder and "yelk.tmp"; the fallback on drive c:
   when there is no temporary folder or it leaves the name no room. */
static void ComputeTempPath()
{
    char folder[kPathSize - (sizeof kTempName - 1)];
    if (GetTempFolder(folder, (int)sizeof folder) > 0)
        snprintf(session.tempPath, sizeof session.tempPath, "%s%s", folder, kTempName);
    else
        snprintf(session.tempPath, sizeof session.tempPath, "%s", kTempFallback);
}

/* A write to, or the closing of, the temporary member file failed (a full
   disk, a size limit): the member would be decoded from missing bytes, so the
   run stops with [11] instead. */
static PumpResult FailTempFile()
{
    if (session.memberStream) {
        fclose(session.memberStream);
        session.memberStream = nullptr;
    }
    DeleteFileTwice(session.tempPath);
    ShowError(kErrorTempFile);
    CloseSetupStream();
    return kPumpFailed;
}

/* What a slice returns when finishing a member did not succeed. */
static PumpResult PumpResultOf(MemberResult result)
{
    return result == kMemberBackupFailed ? kPumpBackupFailed : kPumpFailed;
}

/* Closes the member being collected and finishes it; the temporary file is
   deleted whatever happened. kPumpMore when the member is done. */
static PumpResult FinishCollectedMember()
{
    FILE *member = session.memberStream;
    session.memberStream = nullptr;
    if (!CloseWrittenStream(member))
        return FailTempFile();
    MemberResult result = ExtractMember(session.tempPath);
    DeleteFileTwice(session.tempPath);
    return result == kMemberDone ? kPumpMore : PumpResultOf(result);
}

/* The end of the scan after the tenth member. */
static PumpResult FinishScan()
{
    DrawScanProgress(nullptr, session.setupStream);
    CloseSetupStream();
    FinishChanges();
    return kPumpFinished;
}

/* The installer file ended, or could not be read, before the marker that
   closes the last member. The payload always ends in a marker pair after its
   tenth member and the integrity pass saw it, so the file has changed or the
   disk failed since: the member being collected is incomplete ([9]). A file
   without any marker ends the scan with no member. */
static PumpResult EndOfFile()
{
    DrawScanProgress(nullptr, session.setupStream);
    int readFailed = ferror(session.setupStream);
    CloseSetupStream();
    if (session.memberStream == nullptr && !readFailed)
        return kPumpFinished;
    if (session.memberStream) {
        fclose(session.memberStream);
        session.memberStream = nullptr;
        DeleteFileTwice(session.tempPath);
    }
    ShowError(kErrorReadInstaller);
    return kPumpFailed;
}

/* A whole marker was read: finish the member it closes and open the next.
   kPumpMore means the scan goes on; anything else is the slice's result. */
static PumpResult CloseMember()
{
    if (session.memberStream) {
        PumpResult result = FinishCollectedMember();
        if (result != kPumpMore) {
            CloseSetupStream();
            return result;
        }
        if (session.memberIndex >= kMemberCount)
            return FinishScan();
    }
    ShowScanStatus();
    ComputeTempPath();
    session.memberStream = OpenFileStream(session.tempPath, "wb");
    if (session.memberStream == nullptr) {
        ShowError(kErrorTempFile);
        CloseSetupStream();
        return kPumpFailed;
    }
    session.markerPos = 0;
    return kPumpMore;
}

/* Writes the member bytes a matcher run found to memberStream: the marker
   bytes it released, then data[0..memberBytes). 1 on success. */
static int WriteMemberBytes(FILE *member, const MarkerRun &run, const uint8_t *data)
{
    size_t released = (size_t)run.released;
    if (released && fwrite(session.marker, 1, released, member) != released)
        return 0;
    return run.memberBytes == 0 || fwrite(data, 1, run.memberBytes, member) == run.memberBytes;
}

PumpResult PumpExtraction()
{
    /* A timer tick that arrives after the run was cleaned up finds no file. */
    if (session.setupStream == nullptr)
        return kPumpIdle;

    /* Blocks are read no further than the slice allows, so that the stream's
       position is always what the slices consumed. Ahead of the first marker
       no member is open and the bytes are dropped. */
    FILE *in = session.setupStream;
    MarkerMatcher matcher = {reinterpret_cast<const uint8_t *>(session.marker), session.markerPos};
    for (;;) {
        size_t want = (size_t)(kSliceBytes - session.sliceCount);
        if (want > kScanBlock)
            want = kScanBlock;
        size_t got = fread(scanBlock, 1, want, in);

        size_t at = 0;
        bool markerEnded = false;
        while (at < got && !markerEnded) {
            MarkerRun run = MatchMarker(matcher, scanBlock + at, got - at);
            if (session.memberStream && !WriteMemberBytes(session.memberStream, run, scanBlock + at))
                return FailTempFile();
            at += run.consumed;
            session.sliceCount += (int)run.consumed;
            markerEnded = run.markerEnded;
        }
        session.markerPos = matcher.held;

        if (markerEnded) {
            /* The stream goes back to just after the marker: the bytes after
               it belong to the next member, and a scan that ends here paints
               the bar for this place. */
            if (at < got)
                fseek(in, -(long)(got - at), SEEK_CUR);
            PumpResult result = CloseMember();
            if (result != kPumpMore)
                return result;
        } else if (got < want) {
            return EndOfFile();
        }

        if (session.sliceCount >= kSliceBytes) {
            session.sliceCount = 0;
            DrawScanProgress(nullptr, in);
            return kPumpMore;
        }
    }
}

MemberResult ExtractMember(const char *tempFile)
{
    fflush(nullptr);

    char path[kMemberPathSize];
    MemberPath(path, session.memberIndex);
    PathParts parts;
    SplitPath(path, &parts);
    char text[sizeof parts.name + sizeof parts.ext + 32];
    snprintf(text, sizeof text, "Extracting file: %s%s", parts.name, parts.ext);
    SetStatusText(text);
    if (path[0] == '\0')
        return kMemberFailed;

    BackupResult policy = BackupExisting(path);
    if (policy == kBackupKeep) {
        /* The user's own file stays; this member's bytes go with the
           temporary file, and clean-up must leave the file alone. */
        session.memberIndex++;
        return kMemberDone;
    }
    if (policy == kBackupFailed)
        return kMemberBackupFailed;
    if (policy == kBackupStop)
        return kMemberFailed;

    if (!DecodeToFile(tempFile, path))
        return kMemberFailed;
    session.wroteMember[session.memberIndex] = 1;

    /* The help viewer keeps an index beside each help file; a stale one would
       not match the new help file. Only a file whose read-only attribute
       could be cleared is deleted, and a missing one is no error. */
    const char *indexName = session.memberIndex == 1 ? "yelk.gid"
                          : session.memberIndex == 2 ? "primer.gid" : nullptr;
    if (indexName) {
        char index[kMemberPathSize + 16];
        snprintf(index, sizeof index, "%.*s%s", (int)FolderPrefixLength(path), path, indexName);
        if (ClearReadOnly(index))
            DeleteFileAt(index);
    }

    session.memberIndex++;
    return kMemberDone;
}

int DecodeToFile(const char *source, const char *destination)
{
    const int index = session.memberIndex;
    FILE *in = OpenFileStream(source, "rb");
    if (in == nullptr) {
        CleanupInstall();
        ShowError(kErrorReadMember);
        return 0;
    }
    /* A member is decoded into a file this run makes for itself in the
       destination folder, and takes its own name only once it is complete
       and checked: a full disk or a killed run never leaves half a file under
       a member's name, and no file of the user's is written through. */
    unsigned number;
    ChangeResult change;
    FILE *out = CreateMemberFile(index, &number, &change);
    int ok = 0;
    if (out != nullptr) {
        ok = LzhDecode(in, out);
        if (!CloseWrittenStream(out))
            ok = 0;
        /* A read error would have had the decoder go on with made-up bits. */
        if (ferror(in))
            ok = 0;
        /* The bytes the decoder handed to the file are held against the
           packer's size and CRC: a stream cut at the wrong place may still
           decode. */
        const MemberCheck &check = memberChecks[index];
        if (check.size != 0 && (lzh.outSize != check.size || lzh.outCrc != check.crc))
            ok = 0;
        change = kChangeFailed;
        if (ok) {
            /* Whatever stood at destination stays as it was until the
               complete file replaces it. A folder or a file in use there
               cannot be replaced. */
            MemberCheck written = {lzh.outSize, lzh.outCrc};
            PathKindResult there = PathKind(destination);
            change = there == kPathNone ? kChangeDone : there == kPathFile ? SetAside(index, destination)
                                                                            : kChangeFailed;
            if (change == kChangeDone)
                change = PlaceMember(index, number, written);
        }
    }
    fclose(in);
    if (change == kChangeDone)
        return 1;

    CleanupInstall();
    /* A file that cannot be made or cannot take its name is [4]; a decoding
       or a write that failed is [5], and so is a journal that could not be
       written (a full volume, whichever write meets it first). */
    ShowError(change == kChangeFailed && (ok || out == nullptr) ? kErrorWriteMember : kErrorDecodeMember);
    return 0;
}

int CleanupInstall()
{
    if (session.memberStream) {
        fclose(session.memberStream);
        session.memberStream = nullptr;
    }
    CloseSetupStream();

    DeleteFileTwice(session.tempPath);

    /* Every step this run took in the destination folder is undone from its
       journal: its new files go, the files it moved into the backup folder or
       set aside go back. When one cannot be put back the journal stays, and
       the next run over the folder finishes the job. */
    int undone = UndoChanges();
    session.memberIndex = 0;
    memset(session.wroteMember, 0, sizeof session.wroteMember);

    /* Removing the folder succeeds only when it is empty. */
    if (session.createdDestDir) {
        if (!RemoveFolder(session.destDir))
            RemoveFolder(session.destDir);
        session.createdDestDir = 0;
    }
    return undone;
}
