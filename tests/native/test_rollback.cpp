// Runs that do not finish: what a failed, aborted or killed run leaves of an
// earlier installation, the journal that lets a later run undo a killed one,
// the member checks, and the files a run makes for itself.
#include "tests/native/test_engine_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/wait.h>

#include "payload/changes.h"

using namespace enginetest;

namespace {

/* Every file under a folder (relative name -> bytes); folders as "name/". */
using Snapshot = std::map<std::string, Bytes>;

void SnapshotInto(const std::string &base, const std::string &rel, Snapshot *out)
{
    for (const std::string &name : FolderNames(base + "/" + rel)) {
        std::string path = base + "/" + rel + name;
        struct stat st {};
        lstat(path.c_str(), &st);
        if (S_ISDIR(st.st_mode)) {
            (*out)[rel + name + "/"] = Bytes();
            SnapshotInto(base, rel + name + "/", out);
        } else {
            (*out)[rel + name] = ReadAll(path);
        }
    }
}

Snapshot TakeSnapshot(const std::string &folder)
{
    Snapshot s;
    SnapshotInto(folder, "", &s);
    return s;
}

/* The names where two snapshots differ, each with what it is on either side
   (a size, "folder" or "none"): readable where the bytes are not. */
std::string Differences(const Snapshot &was, const Snapshot &now)
{
    auto what = [](const Snapshot &s, const std::string &name) {
        auto at = s.find(name);
        if (at == s.end())
            return std::string("none");
        return name.back() == '/' ? std::string("folder") : std::to_string(at->second.size()) + " bytes";
    };
    std::string out;
    Snapshot all = was;
    all.insert(now.begin(), now.end());
    for (const auto &entry : all) {
        auto a = was.find(entry.first), b = now.find(entry.first);
        if (a == was.end() || b == now.end() || a->second != b->second)
            out += "  " + entry.first + ": " + what(was, entry.first) + " -> " + what(now, entry.first) + "\n";
    }
    return out;
}

class RollBack : public EngineFixture {
protected:
    /* An earlier installation of version 1, with a backup folder from before
       that holds an older backup of a later member and a note of the user's. */
    std::vector<Bytes> EarlierInstallation()
    {
        std::vector<Bytes> v1 = ClientFiles(1);
        mkdir(dest.c_str(), 0777);
        for (int i = 0; i < kMemberCount; i++)
            WriteAll(DestFile(kNames[i]), v1[i]);
        mkdir((dest + "/backup").c_str(), 0777);
        WriteAll(BackupFile("history.txt"), Text("older backup"));
        WriteAll(BackupFile("notes.txt"), Text("the user's"));
        return v1;
    }

    /* Pumps until the member at stopAt is being collected (an abort comes
       between two slices), or to the end. */
    int PumpUntil(const std::string &file, int stopAt)
    {
        if (PrepareInstallRun() != kDestDirReady)
            return -1;
        session.setupStream = OpenFileStream(ToWindowsPath(file).c_str(), "rb");
        int result;
        do {
            session.sliceCount = kSliceBytes - 997;
            result = PumpExtraction();
        } while (result == kPumpMore && session.memberIndex < stopAt);
        return result;
    }
};

TEST_F(RollBack, UnfinishedRunLeavesTheFolderAsItWas)
{
    // Over an earlier installation, with and without backups: an abort after
    // four members, and a member that decodes to other bytes than its check
    // says ([5]). Afterwards the folder is as it was before Install, the
    // backup folder's earlier content included (none of it was replaced).
    struct Case {
        const char *what;
        bool backups;
        int abortAt;      // abort when this member is being collected; -1: none
        int badMember;    // its check does not match; -1: none
        int error;
    } cases[] = {
        {"abort, backups", true, 4, -1, 0},
        {"abort once history.txt replaced its older backup", true, 6, -1, 0},
        {"abort, no backups", false, 4, -1, 0},
        {"member 3 differs, backups", true, -1, 3, 5},
        {"member 3 differs, no backups", false, -1, 3, 5},
        {"last member differs, no backups", false, -1, 9, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/" + std::to_string(&c - cases));
        EarlierInstallation();
        Snapshot before = TakeSnapshot(dest);
        std::string file = InstallerOf(ClientFiles(2));
        if (c.badMember >= 0)
            memberChecks[c.badMember].crc ^= 1;
        session.makeBackups = c.backups;
        session.keepSettings = 0;

        ResetRecordedUi();
        int result = PumpUntil(file, c.abortAt >= 0 ? c.abortAt : kMemberCount + 1);
        if (c.abortAt >= 0)
            ASSERT_EQ(result, kPumpMore);
        else
            ASSERT_EQ(result, kPumpFailed);
        CleanupInstall();
        ResetInstall();

        EXPECT_EQ(recordedUi.errors, c.error ? std::vector<int>{c.error} : std::vector<int>{});
        EXPECT_EQ(TakeSnapshot(dest), before);
        EXPECT_TRUE(FolderIsEmpty(tmp));
    }
}

TEST_F(RollBack, ABackupFolderTheRunMadeGoesAgain)
{
    std::vector<Bytes> v1 = ClientFiles(1);
    mkdir(dest.c_str(), 0777);
    WriteAll(DestFile("yelk32.exe"), v1[0]);
    Snapshot before = TakeSnapshot(dest);
    std::string file = InstallerOf(ClientFiles(2));
    memberChecks[2].size++;
    EXPECT_EQ(RunInstall(file), kPumpFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
    EXPECT_EQ(TakeSnapshot(dest), before);
}

/* Where a forked run kills itself: at the status line of a member, before its
   backup; or at the first bar paint of its decoding, after its old file has
   moved into the backup folder or aside. */
struct KillPoint {
    int member;
    bool decoding;
};

KillPoint killAt;

void KillIfAt(bool decoding)
{
    if (session.memberIndex == killAt.member && decoding == killAt.decoding)
        raise(SIGKILL);
}

class KilledRun : public RollBack {
protected:
    /* Runs the installer in a child that is killed with SIGKILL at point. */
    void RunKilledAt(const std::string &file, KillPoint point)
    {
        fflush(nullptr);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            killAt = point;
            ResetRecordedUi(400, 400);
            recordedUi.onStatus = [](const char *text) {
                if (strncmp(text, "Extracting", 10) == 0)
                    KillIfAt(false);
            };
            recordedUi.onFilePaint = [] { KillIfAt(true); };
            RunInstall(file);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run was not killed where asked";
    }
};

int changesSeen, killAtChange;

void CountChange(const char *)
{
    if (++changesSeen == killAtChange)
        raise(SIGKILL);
}

/* Writes a folder back to what a snapshot holds (files and folders only). */
void RestoreSnapshot(const std::string &folder, const Snapshot &s)
{
    RemoveTree(folder);
    mkdir(folder.c_str(), 0777);
    for (const auto &entry : s) {
        std::string path = folder + "/" + entry.first;
        if (entry.first.back() == '/')
            mkdir(path.c_str(), 0777);
        else
            WriteAll(path, entry.second);
    }
}

/* Whether a journal's bytes record that its run was done. */
bool WasDone(const Bytes &journal)
{
    for (size_t at = 4; at + 12 <= journal.size(); at += 12)
        if (journal[at] == 'C')
            return true;
    return false;
}

const char *killBeforePath;

void KillBeforePath(const char *path)
{
    if (strcmp(path, killBeforePath) == 0)
        raise(SIGKILL);
}

class KilledAnywhere : public KilledRun {
protected:
    /* Runs the installer in a child with hook called before each of its
       changes to a file or folder; true when the child was killed with
       SIGKILL (by the hook). */
    bool RunKilledBy(const std::string &file, void (*hook)(const char *))
    {
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            beforeFileChange = hook;
            ResetRecordedUi();
            RunInstall(file);
            _exit(3);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    /* Killed just before the run changes what stands at path (a Windows
       path); false when it never did. */
    bool RunKilledBefore(const std::string &file, const char *path)
    {
        killBeforePath = path;
        return RunKilledBy(file, KillBeforePath);
    }

    /* Killed just before its n-th change to a file or folder; false when
       the run ended before it. */
    bool RunKilledAtChange(const std::string &file, int n)
    {
        killAtChange = n;
        changesSeen = 0;
        return RunKilledBy(file, CountChange);
    }
};

TEST_F(KilledAnywhere, TwoKilledRunsThenAFailedRunLeaveTheFolderAsItWas)
{
    // Two runs killed at every pair of file changes (the second one's
    // undoing of the first included), then a run that fails at the last
    // member: the folder is exactly as it was before the first run, older
    // backups and the user's notes included; or, where a killed run had
    // recorded that it was done, exactly as a complete run leaves it. A
    // second run that is not killed leaves it as a complete run does: the new
    // files, and with backups every original in the backup folder. (Small
    // files: the runs are many.)
    std::vector<Bytes> v1 = ClientFiles(1), v2 = ClientFiles(2);
    v1[0].resize(1500);
    v2[0].resize(1700);
    int n = 0, pairs = 0;
    for (bool backups : {true, false}) {
        SetDest(root + "/s" + std::to_string(n++));
        EarlierInstallation();
        WriteAll(DestFile(kNames[0]), v1[0]);
        const Snapshot original = TakeSnapshot(dest);
        session.makeBackups = backups;
        session.keepSettings = 0;
        std::string file = InstallerOf(v2);
        ASSERT_EQ(RunInstall(file), kPumpFinished);
        const Snapshot complete = TakeSnapshot(dest);
        if (backups)
            for (int i = 0; i < kMemberCount; i++)
                ASSERT_EQ(ReadAll(BackupFile(kNames[i])), v1[i]) << kNames[i];
        for (int first = 1;; first++) {
            RestoreSnapshot(dest, original);
            if (!RunKilledAtChange(file, first))
                break;
            const Snapshot afterFirst = TakeSnapshot(dest);
            for (int second = 1;; second++) {
                SCOPED_TRACE(std::string(backups ? "backups" : "no backups") + ", killed at changes " +
                             std::to_string(first) + " and " + std::to_string(second));
                RestoreSnapshot(dest, afterFirst);
                if (!RunKilledAtChange(file, second)) {
                    std::string changed = Differences(complete, TakeSnapshot(dest));
                    ASSERT_EQ(changed, "") << "after the second run";
                    break;
                }
                pairs++;
                Snapshot left = TakeSnapshot(dest);
                bool done = left.count(kJournalName) ? WasDone(left[kJournalName])
                                                     : ReadAll(DestFile(kNames[0])) == v2[0];
                memberChecks[9].crc ^= 1;
                ResetRecordedUi();
                EXPECT_EQ(RunInstall(file), kPumpFailed);
                memberChecks[9].crc ^= 1;
                EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
                std::string changed = Differences(done ? complete : original, TakeSnapshot(dest));
                ASSERT_EQ(changed, "") << (done ? "after a run that was done" : "");
            }
        }
    }
    EXPECT_GT(pairs, 1000);
}

TEST_F(KilledRun, NoSequenceOfKilledAndCompleteRunsLosesAFile)
{
    // After any sequence of killed runs, a complete run leaves the new files
    // in place and, with backups, the user's own originals in the backup
    // folder (a killed run's new yelk32.exe must never pass for the user's);
    // nothing else of the runs remains. A second complete run keeps them.
    const std::vector<KillPoint> sequences[] = {
        {{0, true}},
        {{1, false}},
        {{1, true}},
        {{4, true}, {0, true}, {1, false}, {9, true}},
    };
    std::vector<Bytes> v2 = ClientFiles(2);
    int n = 0;
    for (bool backups : {true, false}) {
        for (const std::vector<KillPoint> &kills : sequences) {
            SCOPED_TRACE(std::string(backups ? "backups" : "no backups") + ", " + std::to_string(kills.size()) +
                         " kills, first at member " + std::to_string(kills[0].member));
            SetDest(root + "/k" + std::to_string(n++));
            std::vector<Bytes> v1 = EarlierInstallation();
            session.makeBackups = backups;
            session.keepSettings = 0;
            std::string file = InstallerOf(v2);
            for (KillPoint k : kills)
                RunKilledAt(file, k);

            for (int run = 0; run < 2; run++) {
                ResetRecordedUi();
                ASSERT_EQ(RunInstall(file), kPumpFinished);
                EXPECT_TRUE(recordedUi.errors.empty());
                ExpectInstalled(v2);
                std::vector<std::string> names(kNames, kNames + kMemberCount);
                names.push_back("backup");
                std::sort(names.begin(), names.end());
                EXPECT_EQ(FolderNames(dest), names);
                if (backups) {
                    for (int i = 0; i < kMemberCount; i++)
                        EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v1[i]) << kNames[i];
                    EXPECT_EQ(ReadAll(BackupFile("notes.txt")), Text("the user's"));
                }
            }
        }
    }
}

TEST_F(KilledRun, AJournalThatCannotBeUndoneStopsTheNextRun)
{
    // A killed run set yelk32.exe aside and put its new one in; that new file
    // was made read-only since, so it cannot go and the original cannot come
    // back: the next run says so ([7]), stops there, and keeps the journal
    // for a later attempt. What it undid before it stopped stays undone.
    std::vector<Bytes> v1 = EarlierInstallation();
    session.makeBackups = 0;
    session.keepSettings = 0;
    std::string file = InstallerOf(ClientFiles(2));
    RunKilledAt(file, {1, true});
    ASSERT_EQ(chmod(DestFile("yelk32.exe").c_str(), 0444), 0);
    Snapshot before = TakeSnapshot(dest);
    ASSERT_EQ(before.count(kJournalName), 1u);

    // Only the killed run's own half-decoded member may have gone (it is
    // undone first), and the journal may say so.
    for (int attempt = 0; attempt < 2; attempt++) {
        ResetRecordedUi();
        EXPECT_EQ(RunInstall(file), -1);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
        Snapshot after = TakeSnapshot(dest);
        for (const auto &entry : before)
            if (!after.count(entry.first))
                EXPECT_TRUE(entry.first.size() == 10 && entry.first.compare(0, 2, "yk") == 0 &&
                            entry.first.compare(6, 4, ".tmp") == 0)
                    << entry.first;
        for (auto &entry : after)
            if (entry.first != kJournalName)
                EXPECT_TRUE(before.count(entry.first) && before[entry.first] == entry.second) << entry.first;
        EXPECT_EQ(after.count(kJournalName), 1u);
    }

    // Writable again, the next run puts the file back and installs.
    chmod(DestFile("yelk32.exe").c_str(), 0644);
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    ExpectInstalled(ClientFiles(2));
    EXPECT_EQ(FolderNames(dest).size(), (size_t)kMemberCount + 1);   // and backup/
    (void)v1;
}

TEST_F(KilledAnywhere, FilesChangedAfterAKilledRunAreKept)
{
    // A run killed after it wrote yelk.ini and hosts.ini, as marks.ini was
    // about to take its name; the client then saves the user's settings into
    // yelk.ini. Or a run killed as its new yelk32.exe was about to take the
    // name the original had left (set aside, or moved into the backup
    // folder), after which the client made that name again. The next run,
    // which keeps settings, keeps what the user has now, keeps the original
    // it would have put back under a name no run uses, says so ([8]) and
    // installs. No file the user had or made is lost, then or by a later run.
    struct Case {
        const char *what;
        bool backups;
        int killBefore;   // the run is killed as this member is about to take its name
        int changed;      // the member whose file the user writes after the kill
    } cases[] = {
        {"yelk.ini edited, backups", true, 9, 5},
        {"yelk.ini edited, no backups", false, 9, 5},
        {"yelk32.exe made again, backups", true, 0, 0},
        {"yelk32.exe made again, no backups", false, 0, 0},
    };
    const Bytes users = Text("the user's own, written after the run was killed");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/" + std::to_string(&c - cases));
        std::vector<Bytes> v1 = EarlierInstallation(), v2 = ClientFiles(2);
        session.makeBackups = c.backups;
        session.keepSettings = 0;
        std::string file = InstallerOf(v2);
        char member[kMemberPathSize];
        MemberPath(member, c.killBefore);
        ASSERT_TRUE(RunKilledBefore(file, member));
        WriteAll(DestFile(kNames[c.changed]), users);

        session.keepSettings = 1;
        ResetRecordedUi();
        ASSERT_EQ(RunInstall(file), kPumpFinished);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{8});
        if (c.changed == 5) {
            EXPECT_EQ(ReadAll(DestFile("yelk.ini")), users) << "the user's settings, kept";
            EXPECT_EQ(ReadAll(DestFile("hosts.ini")), v1[8]) << "the run's hosts.ini undone";
        } else {
            EXPECT_EQ(ReadAll(DestFile("yelk32.exe")), v2[0]);
        }
        // A run without kept settings afterwards: everything of the user's
        // is still in the folder.
        session.keepSettings = 0;
        ResetRecordedUi();
        ASSERT_EQ(RunInstall(file), kPumpFinished);
        EXPECT_TRUE(recordedUi.errors.empty());
        Snapshot all = TakeSnapshot(dest);
        for (const Bytes &wanted : {v1[c.changed], users}) {
            bool found = false;
            for (const auto &entry : all)
                found |= entry.second == wanted;
            EXPECT_TRUE(found || (!c.backups && wanted == users))
                << "lost: " << std::string(wanted.begin(), wanted.begin() + std::min<size_t>(wanted.size(), 40));
        }
        EXPECT_FALSE(Exists(DestFile(kJournalName)));
    }
}

std::string madeReadOnly;

/* Makes madeReadOnly read-only as marks.ini, the last member, is extracted. */
void ReadOnlyAtLastMember(const char *status)
{
    if (strcmp(status, "Extracting file: marks.ini") == 0)
        chmod(madeReadOnly.c_str(), 0444);
}

TEST_F(RollBack, AnUndoThatStopsKeepsItsJournalAndIsNeverRepeated)
{
    // A run over an earlier installation fails at its last member ([5]).
    // Meanwhile a file it wrote (hosts.ini), or its journal, was made
    // read-only, so the undo cannot finish: [7] follows and the journal
    // stays. What was undone before the stop stays undone however often the
    // clean-up runs (the wizard cleans up twice after [5]); no original is
    // lost; a run while the file is still read-only changes nothing. Once it
    // is writable again, the next run finishes the undo and installs.
    std::vector<Bytes> v2 = ClientFiles(2);
    int n = 0;
    for (const char *held : {"hosts.ini", kJournalName}) {
        for (bool backups : {true, false}) {
            SCOPED_TRACE(std::string(held) + (backups ? ", backups" : ", no backups"));
            SetDest(root + "/h" + std::to_string(n++));
            std::vector<Bytes> v1 = EarlierInstallation();
            Snapshot before = TakeSnapshot(dest);
            session.makeBackups = backups;
            session.keepSettings = 0;
            std::string file = InstallerOf(v2);
            madeReadOnly = DestFile(held);
            memberChecks[9].crc ^= 1;
            ResetRecordedUi();
            recordedUi.onStatus = ReadOnlyAtLastMember;
            EXPECT_EQ(RunInstall(file), kPumpFailed);
            EXPECT_EQ(recordedUi.errors, (std::vector<int>{5, 7}));
            Snapshot stopped = TakeSnapshot(dest);
            EXPECT_EQ(CleanupInstall(), 0);
            EXPECT_EQ(Differences(stopped, TakeSnapshot(dest)), "") << "a second clean-up";
            ASSERT_EQ(stopped.count(kJournalName), 1u);
            for (int i = 0; i < kMemberCount; i++) {
                bool found = false;
                for (const auto &entry : stopped)
                    found |= entry.second == v1[i];
                EXPECT_TRUE(found) << "lost: " << kNames[i];
            }
            if (held == kJournalName) {
                stopped.erase(kJournalName);
                before.erase(kJournalName);
                EXPECT_EQ(Differences(before, stopped), "") << "all but the journal undone";
            } else {
                EXPECT_EQ(ReadAll(DestFile("marks.ini")), v1[9]) << "undone before the stop";
            }
            memberChecks[9].crc ^= 1;

            ResetRecordedUi();
            EXPECT_EQ(RunInstall(file), -1);
            EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
            Snapshot again = TakeSnapshot(dest);
            again.erase(kJournalName);
            stopped.erase(kJournalName);
            EXPECT_EQ(Differences(stopped, again), "") << "a run while it is still read-only";

            chmod(madeReadOnly.c_str(), 0644);
            ResetRecordedUi();
            ASSERT_EQ(RunInstall(file), kPumpFinished);
            EXPECT_TRUE(recordedUi.errors.empty());
            ExpectInstalled(v2);
            if (backups)
                for (int i = 0; i < kMemberCount; i++)
                    EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v1[i]) << kNames[i];
            EXPECT_FALSE(Exists(DestFile(kJournalName)));
        }
    }
}

TEST_F(KilledRun, ADamagedJournalIsRefusedWhole)
{
    // A killed run's journal with one damaged byte: every step is checked
    // before any is undone, so the next run refuses ([7]) and the folder,
    // journal included, stays exactly as the killed run left it.
    struct Case {
        const char *what;
        int step;        // from the end: 1 is the last step
        int offset;      // in the twelve bytes of the step
        uint8_t value;
    } cases[] = {
        {"the first step's kind", 0, 0, 'Z'},
        {"the last step's kind", 1, 0, 0},
        {"the last step's member index", 1, 1, kMemberCount},
        {"a step after done", -1, 0, 'C'},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/" + std::to_string(&c - cases));
        EarlierInstallation();
        session.makeBackups = 1;
        session.keepSettings = 0;
        std::string file = InstallerOf(ClientFiles(2));
        RunKilledAt(file, {4, true});
        Bytes journal = ReadAll(DestFile(kJournalName));
        size_t steps = (journal.size() - 4) / 12;
        ASSERT_GT(steps, 4u);
        if (c.step < 0)
            journal[4 + 12 * (steps - 2)] = c.value;   // done, with a step after it
        else
            journal[4 + 12 * (c.step == 0 ? 0 : steps - c.step) + c.offset] = c.value;
        WriteAll(DestFile(kJournalName), journal);
        Snapshot left = TakeSnapshot(dest);

        ResetRecordedUi();
        EXPECT_EQ(RunInstall(file), -1);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
        EXPECT_EQ(Differences(left, TakeSnapshot(dest)), "");
    }
}

TEST_F(RollBack, JournalsThatAreNoneOfOursAreNotActedOn)
{
    // A journal names files only by member index and by the number of a
    // file of the run's own in the destination folder, so none can lead
    // elsewhere; one that is not a journal, or holds a step no run writes,
    // stops the run ([7]) and is left as it is.
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"not a journal", "T0 ..\\victim\n"},
        {"a member index out of range", std::string("YKU2W\x0a\0\0\0\0\0\0\0\0\0\0", 16)},
        {"a step no run writes", std::string("YKU2Z\0\0\0\0\0\0\0\0\0\0\0", 16)},
        {"an earlier journal format", std::string("YKU1W\0\0\0", 8)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        mkdir(dest.c_str(), 0777);
        WriteAll(root + "/victim", Text("keep"));
        WriteAll(dest + "/" + kJournalName, Text(c.bytes));
        ResetRecordedUi();
        EXPECT_EQ(RunInstall(InstallerOf(ClientFiles(1))), -1);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
        EXPECT_EQ(ReadAll(root + "/victim"), Text("keep"));
        EXPECT_EQ(FolderNames(dest), std::vector<std::string>{kJournalName});
        EXPECT_EQ(ReadAll(dest + "/" + kJournalName), Text(c.bytes));
        RemoveTree(dest);
    }
}

TEST_F(RollBack, AJournalKilledWhileItWasWrittenIsNoObstacle)
{
    // Killed before its first step was on record, or while a step was being
    // written (a step is taken only once it is on record): nothing to undo.
    for (const std::string &bytes : {std::string(), std::string("YK"), std::string("YKU2T\0\0\0\0", 9)}) {
        mkdir(dest.c_str(), 0777);
        WriteAll(dest + "/" + kJournalName, Text(bytes));
        ResetRecordedUi();
        ASSERT_EQ(RunInstall(InstallerOf(ClientFiles(1))), kPumpFinished);
        EXPECT_FALSE(Exists(dest + "/" + kJournalName));
        RemoveTree(dest);
    }
}

TEST_F(RollBack, TheSameFileIsNotBackedUpAgain)
{
    // Version 1 over version 0 backs version 0 up; version 1 again finds
    // yelk32.exe and the rest already the same, so the backup of version 0
    // stays. A file that differs from its member is still backed up.
    std::vector<Bytes> v0 = ClientFiles(0), v1 = ClientFiles(1);
    mkdir(dest.c_str(), 0777);
    for (int i = 0; i < kMemberCount; i++)
        WriteAll(DestFile(kNames[i]), v0[i]);
    session.keepSettings = 0;
    std::string file = InstallerOf(v1);
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    WriteAll(DestFile("about.txt"), Text("changed by the user"));
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    ExpectInstalled(v1);
    for (int i = 0; i < kMemberCount; i++)
        if (i != 3)
            EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v0[i]) << kNames[i];
    EXPECT_EQ(ReadAll(BackupFile("about.txt")), Text("changed by the user"));
}

TEST_F(RollBack, MemberCheckCatchesAStreamThatDecodesToOtherBytes)
{
    // Member 4's stream decodes cleanly, but not to the bytes the packer
    // recorded for it: other content of the same size, or one byte more.
    std::vector<Bytes> files = ClientFiles(1);
    Bytes longer = files[4];
    longer.push_back('\n');
    for (const Bytes &other : {ClientFiles(2)[4], longer}) {
        ASSERT_EQ(RunInstall(InstallerOf(files)), kPumpFinished);   // the check itself passes them
        RemoveTree(dest);
        std::vector<Bytes> streams = EncodeAll(files);
        streams[4] = Encode(other);
        ResetRecordedUi();
        EXPECT_EQ(RunInstall(WriteInstaller(BuildPayload(streams))), kPumpFailed);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
        EXPECT_FALSE(Exists(dest));
    }
}

TEST(RunFiles, ANewFileIsMadeWhereNothingStoodAndNeverThroughALink)
{
    char pattern[] = "/tmp/yelk-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::string win = ToWindowsPath(dir);
    WriteAll(dir + "/target", Text("outside"));
    ASSERT_EQ(symlink((dir + "/target").c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0666), 0);
    WriteAll(dir + "/file", Text("there"));
    for (const char *name : {"link", "dangling", "fifo", "file"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CreateNewFile((win + "\\" + name).c_str()), nullptr);
    }
    EXPECT_EQ(ReadAll(dir + "/target"), Text("outside"));
    EXPECT_FALSE(Exists(dir + "/nowhere"));

    // The files a run decodes into: each a new name in the folder, empty,
    // open for writing, and on record in the run's journal before it exists.
    std::string saved = session.destDir;
    strcpy(session.destDir, win.c_str());
    std::vector<std::string> made;
    for (int i = 0; i < 3; i++) {
        unsigned number = 0;
        ChangeResult result;
        FILE *f = CreateMemberFile(i, &number, &result);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(result, kChangeDone);
        fputs("x", f);
        fclose(f);
        char name[16];
        snprintf(name, sizeof name, "/yk%04X.tmp", number);
        made.push_back(dir + name);
        EXPECT_EQ(ReadAll(made.back()), Text("x"));
    }
    EXPECT_NE(made[0], made[1]);
    EXPECT_NE(made[1], made[2]);
    EXPECT_EQ(FolderNames(dir).size(), 9u);   // and the journal
    EXPECT_EQ(UndoChanges(), 1);
    EXPECT_EQ(FolderNames(dir).size(), 5u);
    strcpy(session.destDir, saved.c_str());
    RemoveTree(dir);
}

}  // namespace
