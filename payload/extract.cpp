/*
 * The extraction engine. PumpExtraction reads the installer file one byte at a
 * time, in slices of at most 15001 bytes, and splits it at the member marker;
 * each member's raw bytes are collected in a temporary file and then passed
 * through the backup policy and the decoder into the destination folder.
 * CleanupInstall undoes what a failed or cancelled run wrote.
 */
#include "extract.h"

#include <cstdio>
#include <cstring>

#include "../common/messages.h"
#include "../common/path.h"
#include "../common/platform.h"
#include "../common/session.h"
#include "backup.h"
#include "lzhuf.h"
#include "progress.h"

/* The installer file is read one byte at a time through its stream's buffer.
   Only this engine touches the stream, from one thread, so the C library's
   lock-free form serves where it has one. */
#if defined(__GLIBC__)
#define ReadStreamByte(stream) getc_unlocked(stream)
#else
#define ReadStreamByte(stream) getc(stream)
#endif

/* File names of the members, in payload order. */
static const char *const kMemberNames[kMemberCount] = {
    "yelk32.exe",   /* the client program */
    "yelk.hlp",     /* help; its index yelk.gid is removed after it */
    "primer.hlp",   /* introductory help; its index primer.gid likewise */
    "about.txt",
    "history.txt",
    "yelk.ini",     /* settings files from here on */
    "macros.ini",
    "menus.ini",
    "hosts.ini",
    "marks.ini",
};

/* The two halves of the marker. They are read through volatile pointers so
   that no compiler folds them into one constant: a complete marker anywhere in
   the installer ahead of the payload would be taken for the payload's start. */
static const char *volatile markerHead = "A";
static const char *volatile markerTail = "RNI";

static const char kTempName[] = "yelk.tmp";
/* A member is decoded under this name in the destination folder and takes
   its own name only once it is complete: a full disk or a killed run never
   leaves half a file under a member's name. */
static const char kPartialName[] = "yelk.new";

enum {
    kPendingBytes = 4096   /* member bytes gathered before they go to memberStream */
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

void MemberPath(char *out, int index)
{
    if (index < 0 || index >= kMemberCount) {
        out[0] = '\0';
        return;
    }
    snprintf(out, kMemberPathSize, "%s\\%s", session.destDir, kMemberNames[index]);
}

void ResetInstall()
{
    session.markerPos = 0;
    session.sliceCount = 0;
    session.memberIndex = 0;
    session.settingsPolicy = 0;
    session.createdDestDir = 0;
    session.abortRequested = 0;
    session.overallFill = 0;
    session.setupSize = 0;
    /* The streams are forgotten, not closed: callers close them first. */
    session.setupStream = nullptr;
    session.memberStream = nullptr;
    session.tempPath[0] = '\0';
    session.backupDir[0] = '\0';
    memset(session.wroteMember, 0, sizeof session.wroteMember);
    strcpy(session.marker, markerHead);
    strcat(session.marker, markerTail);
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
static int FailTempFile()
{
    if (session.memberStream) {
        fclose(session.memberStream);
        session.memberStream = nullptr;
    }
    DeleteFileTwice(session.tempPath);
    ShowErrorBox(11, ErrorText(11));
    CloseSetupStream();
    return kPumpFailed;
}

/* Closes the member being collected and finishes it; the temporary file is
   deleted whatever happened. Returns ExtractMember's result. */
static int FinishCollectedMember()
{
    FILE *member = session.memberStream;
    session.memberStream = nullptr;
    if (!CloseWrittenStream(member))
        return FailTempFile();
    int result = ExtractMember(session.tempPath);
    DeleteFileTwice(session.tempPath);
    return result;
}

/* The end of the scan after the tenth member. */
static int FinishScan()
{
    DrawScanProgress(nullptr, session.setupStream);
    CloseSetupStream();
    return kPumpFinished;
}

/* The installer file ended, or could not be read, before the marker that
   closes the last member. The payload always ends in a marker pair after its
   tenth member and the integrity pass saw it, so the file has changed or the
   disk failed since: the member being collected is incomplete ([9]). A file
   without any marker ends the scan with no member. */
static int EndOfFile()
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
    ShowErrorBox(9, ErrorText(9));
    return kPumpFailed;
}

/* A whole marker was read: finish the member it closes and open the next.
   kPumpMore means the scan goes on; anything else is the slice's result. */
static int CloseMember()
{
    if (session.memberStream) {
        int result = FinishCollectedMember();
        if (result != 1) {
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
        ShowErrorBox(11, ErrorText(11));
        CloseSetupStream();
        return kPumpFailed;
    }
    session.markerPos = 0;
    return kPumpMore;
}

/* Hands the gathered member bytes to memberStream; 1 on success. */
static int WritePending(const unsigned char *pending, size_t *used)
{
    size_t count = *used;
    *used = 0;
    return count == 0 || fwrite(pending, 1, count, session.memberStream) == count;
}

int PumpExtraction()
{
    /* A timer tick that arrives after the run was cleaned up finds no file. */
    if (session.setupStream == nullptr)
        return kPumpIdle;

    /* The loop runs on local copies of the scan state, which stay in registers
       (a byte stored through a stream could otherwise be any field of the
       session); they go back into the session before anything else runs.
       Member bytes gather in a small block and reach memberStream, in the same
       order, whenever it fills and before anything else happens. */
    FILE *in = session.setupStream;
    FILE *member = session.memberStream;
    unsigned char marker[kMarkerLength];
    memcpy(marker, session.marker, kMarkerLength);
    int pos = session.markerPos;
    int count = session.sliceCount;
    unsigned char pending[kPendingBytes + kMarkerLength];
    size_t used = 0;

    for (;;) {
        int c;
        if (member && pos == 0) {
            /* Inside a member with nothing held back, every byte but the
               marker's first belongs to the member: copy such bytes until the
               block is full or the slice is used up. */
            size_t room = kPendingBytes - used;
            size_t sliceLeft = count < kSliceBytes ? (size_t)(kSliceBytes - count) : 1;
            size_t stop = room < sliceLeft ? room : sliceLeft;
            size_t i = 0;
            for (; i < stop; i++) {
                c = ReadStreamByte(in);
                if (c == marker[0] || c == EOF)
                    break;
                pending[used + i] = (unsigned char)c;
            }
            used += i;
            count += (int)i;
            if (i == stop) {
                if (used >= kPendingBytes && !WritePending(pending, &used))
                    return FailTempFile();
                if (count >= kSliceBytes)
                    break;
                continue;
            }
            /* c is the marker's first byte or the end of the file. */
        } else {
            c = ReadStreamByte(in);
        }

        if (c == EOF) {
            session.markerPos = pos;
            session.sliceCount = count;
            if (!WritePending(pending, &used))
                return FailTempFile();
            return EndOfFile();
        }

        if (c == marker[pos]) {
            if (++pos == kMarkerLength) {
                session.markerPos = pos;
                session.sliceCount = count;
                if (!WritePending(pending, &used))
                    return FailTempFile();
                int result = CloseMember();
                if (result != kPumpMore)
                    return result;
                member = session.memberStream;
                pos = session.markerPos;
            }
        } else {
            /* Not (or no longer) a marker: the held-back bytes and this one
               belong to the member. This byte is not tried as the start of a
               new marker, so an "A" just before a marker hides that marker. */
            if (member) {
                for (int k = 0; k < pos; k++)
                    pending[used++] = marker[k];
                pending[used++] = (unsigned char)c;
                if (used >= kPendingBytes && !WritePending(pending, &used))
                    return FailTempFile();
            }
            pos = 0;
        }

        if (++count >= kSliceBytes)
            break;
    }

    /* The slice is used up. */
    session.markerPos = pos;
    session.sliceCount = 0;
    if (!WritePending(pending, &used))
        return FailTempFile();
    DrawScanProgress(nullptr, in);
    return kPumpMore;
}

int ExtractMember(const char *tempFile)
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
        return 0;

    int policy = BackupExisting(path);
    if (policy == kBackupKeep) {
        /* The user's own file stays; this member's bytes go with the
           temporary file, and clean-up must leave the file alone. */
        session.memberIndex++;
        return 1;
    }
    if (policy != kBackupGoOn)
        return 2;

    if (!DecodeToFile(tempFile, path))
        return 0;
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
    return 1;
}

/* The file a member is decoded into before it takes its name: kPartialName
   in the folder of destination. */
static void PartialPath(char *out, size_t size, const char *destination)
{
    snprintf(out, size, "%.*s%s", (int)FolderPrefixLength(destination), destination, kPartialName);
}

int DecodeToFile(const char *source, const char *destination)
{
    FILE *in = OpenFileStream(source, "rb");
    if (in == nullptr) {
        CleanupInstall();
        ShowErrorBox(3, ErrorText(3));
        return 0;
    }
    char partial[kMemberPathSize];
    PartialPath(partial, sizeof partial, destination);
    FILE *out = OpenFileStream(partial, "wb");
    if (out == nullptr) {
        fclose(in);
        CleanupInstall();
        ShowErrorBox(4, ErrorText(4));
        return 0;
    }

    int ok = LzhDecode(in, out);
    if (!CloseWrittenStream(out))
        ok = 0;
    /* A read error would have had the decoder go on with made-up bits. */
    if (ferror(in))
        ok = 0;
    fclose(in);

    /* Until the complete file replaces it, whatever stood at destination (a
       file the user chose to overwrite) stays as it was. A folder or a file
       in use there cannot be replaced. */
    int number = 0;
    if (!ok)
        number = 5;
    else if (!MoveFileReplacing(partial, destination))
        number = 4;
    if (number == 0)
        return 1;

    DeleteFileTwice(partial);
    CleanupInstall();
    ShowErrorBox(number, ErrorText(number));
    return 0;
}

void CleanupInstall()
{
    if (session.memberStream) {
        fclose(session.memberStream);
        session.memberStream = nullptr;
    }
    CloseSetupStream();

    DeleteFileTwice(session.tempPath);

    /* A member half decoded when a run was killed. */
    if (session.destDir[0] != '\0') {
        char member[kMemberPathSize], partial[kMemberPathSize];
        MemberPath(member, 0);
        PartialPath(partial, sizeof partial, member);
        if (PathExists(partial))
            DeleteFileTwice(partial);
    }

    /* Only the files this run wrote go; a file the backup policy left in
       place is the user's own. */
    while (session.memberIndex > 0) {
        session.memberIndex--;
        if (!session.wroteMember[session.memberIndex])
            continue;
        session.wroteMember[session.memberIndex] = 0;
        char path[kMemberPathSize];
        MemberPath(path, session.memberIndex);
        if (path[0] != '\0')
            DeleteFileTwice(path);
    }

    /* Removing the folder succeeds only when it is empty. */
    if (session.createdDestDir) {
        if (!RemoveFolder(session.destDir))
            RemoveFolder(session.destDir);
        session.createdDestDir = 0;
    }
}
