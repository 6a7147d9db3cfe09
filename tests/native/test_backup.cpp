// The backup policy on real folders: runs over an earlier installation with
// every combination of the two options, settings files, the backup folder and
// its failures.
#include "tests/native/test_engine_fixture.h"

#include "payload/backup.h"

using namespace enginetest;

namespace {

bool IsSettings(int i) { return i >= 5; }

bool Writable(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR);
}

class Backup : public EngineFixture {
protected:
    /* An earlier installation of a client version in the destination. */
    void InstallVersion(int version)
    {
        int backups = session.makeBackups, keep = session.keepSettings;
        session.makeBackups = session.keepSettings = 0;
        ASSERT_EQ(RunInstall(InstallerOf(ClientFiles(version))), kPumpFinished);
        session.makeBackups = backups;
        session.keepSettings = keep;
    }

    /* An existing file at member i's path, as BackupExisting sees it. */
    int BackupMember(int i)
    {
        char path[kMemberPathSize];
        MemberPath(path, i);
        return BackupExisting(path);
    }
};

TEST_F(Backup, RunsOverAnEarlierInstallation)
{
    struct Case {
        int makeBackups, keepSettings;
    } cases[] = {{1, 1}, {1, 0}, {0, 1}, {0, 0}};
    std::vector<Bytes> v1 = ClientFiles(1), v2 = ClientFiles(2), v3 = ClientFiles(3);
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "backups " << c.makeBackups << " keep " << c.keepSettings);
        SetDest(root + "/dest" + std::to_string(run++));
        InstallVersion(1);
        // Read-only files are replaced or kept like any other.
        chmod(DestFile("yelk32.exe").c_str(), 0444);
        for (int i = 5; i < kMemberCount; i++) {
            SetOldModTime(DestFile(kNames[i]));
            chmod(DestFile(kNames[i]).c_str(), 0444);
        }

        session.makeBackups = c.makeBackups;
        session.keepSettings = c.keepSettings;
        ResetRecordedUi();
        ASSERT_EQ(RunInstall(InstallerOf(v2)), kPumpFinished);
        EXPECT_TRUE(recordedUi.errors.empty());
        EXPECT_EQ(session.memberIndex, kMemberCount);
        for (int i = 0; i < kMemberCount; i++) {
            SCOPED_TRACE(kNames[i]);
            bool kept = IsSettings(i) && c.keepSettings;
            EXPECT_EQ(ReadAll(DestFile(kNames[i])), kept ? v1[i] : v2[i]);
            EXPECT_EQ(session.wroteMember[i], kept ? 0 : 1);
            if (kept) {
                EXPECT_EQ(ModTime(DestFile(kNames[i])).tv_sec, 1000000000);
                EXPECT_TRUE(Writable(DestFile(kNames[i]))) << "attributes are cleared even when kept";
            }
            bool backedUp = c.makeBackups && !kept;
            EXPECT_EQ(Exists(BackupFile(kNames[i])), backedUp);
            if (backedUp)
                EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v1[i]);
        }
        EXPECT_EQ(Exists(dest + "/backup"), c.makeBackups != 0);
        if (!c.makeBackups)
            continue;

        // A third run: each backup is replaced by the files of the second,
        // a read-only older backup included; nothing else in the folder goes.
        chmod(BackupFile("yelk32.exe").c_str(), 0444);
        WriteAll(dest + "/backup/notes.txt", Text("mine"));
        ASSERT_EQ(RunInstall(InstallerOf(v3)), kPumpFinished);
        EXPECT_TRUE(recordedUi.errors.empty());
        std::vector<std::string> backups = {"notes.txt"};
        for (int i = 0; i < kMemberCount; i++) {
            bool kept = IsSettings(i) && c.keepSettings;
            EXPECT_EQ(ReadAll(DestFile(kNames[i])), kept ? v1[i] : v3[i]) << kNames[i];
            if (!kept) {
                EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v2[i]) << kNames[i];
                backups.push_back(kNames[i]);
            }
        }
        EXPECT_EQ(ReadAll(dest + "/backup/notes.txt"), Text("mine"));
        // The older backups the run set aside are gone with it, the
        // read-only one too.
        std::sort(backups.begin(), backups.end());
        EXPECT_EQ(FolderNames(dest + "/backup"), backups);
    }
}

TEST_F(Backup, OnlyTheMembersOwnNameMakesASettingsFile)
{
    // ".ini" in a folder name does not make yelk32.exe a settings file: with
    // Keep settings it is still replaced, and only the five settings files stay.
    std::vector<Bytes> v1 = ClientFiles(1), v2 = ClientFiles(2);
    struct Case {
        const char *folder;
        bool allSettings;
    } cases[] = {{"old.ini", false}, {"v.initial", false}, {"old.INI", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        ASSERT_EQ(mkdir((root + "/" + c.folder).c_str(), 0777), 0);
        SetDest(root + "/" + c.folder + "/yelk");
        InstallVersion(1);
        ASSERT_EQ(RunInstall(InstallerOf(v2)), kPumpFinished);
        EXPECT_EQ(session.memberIndex, kMemberCount);
        for (int i = 0; i < kMemberCount; i++) {
            bool kept = c.allSettings || IsSettings(i);
            EXPECT_EQ(ReadAll(DestFile(kNames[i])), kept ? v1[i] : v2[i]) << kNames[i];
        }
        EXPECT_EQ(Exists(dest + "/backup"), !c.allSettings);
    }
}

TEST_F(Backup, FileNamedBackupStopsTheRunWithNothingLost)
{
    std::vector<Bytes> v1 = ClientFiles(1);
    InstallVersion(1);
    WriteAll(dest + "/backup", Text("not a folder"));

    ResetRecordedUi();
    EXPECT_EQ(RunInstall(InstallerOf(ClientFiles(2))), kPumpBackupFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
    ExpectInstalled(v1);
    EXPECT_EQ(ReadAll(dest + "/backup"), Text("not a folder"));
    EXPECT_TRUE(FolderIsEmpty(tmp));
}

TEST_F(Backup, FailedMoveKeepsTheOlderBackup)
{
    // The older backup of a file steps aside before the file moves in, and
    // comes back when the move fails and the run is cleaned up: read-only,
    // it is still there as it was, and nothing else is left in the folder.
    ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dest + "/backup").c_str(), 0777), 0);
    WriteAll(BackupFile("yelk32.exe"), Text("older backup"));
    chmod(BackupFile("yelk32.exe").c_str(), 0444);
    // A mount point cannot be moved: the move fails.
    SmallVolume held(DestFile("yelk32.exe"));
    if (!held.mounted())
        GTEST_SKIP() << held.why();

    ResetInstall();
    EXPECT_EQ(BackupMember(0), kBackupFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{7});
    EXPECT_EQ(CleanupInstall(), 1);
    EXPECT_EQ(ReadAll(BackupFile("yelk32.exe")), Text("older backup"));
    EXPECT_FALSE(Writable(BackupFile("yelk32.exe")));
    EXPECT_EQ(FolderNames(dest + "/backup"), std::vector<std::string>{"yelk32.exe"});
}

TEST_F(Backup, SettingsDecisionIsMadeOncePerRun)
{
    struct Case {
        int keepAtFirst, keepLater;
        int policy;       // settingsPolicy after the first settings file
        int result;       // for both settings files
    } cases[] = {{1, 0, 1, kBackupKeep}, {0, 1, 2, kBackupGoOn}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keepAtFirst);
        SetDest(root + "/dest" + std::to_string(c.keepAtFirst));
        ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
        for (int i : {0, 5, 6})
            WriteAll(DestFile(kNames[i]), Text(kNames[i]));
        ResetInstall();
        session.keepSettings = c.keepAtFirst;

        EXPECT_EQ(BackupMember(3), kBackupGoOn);  // nothing there: nothing happens
        EXPECT_EQ(session.settingsPolicy, 0);
        EXPECT_STREQ(session.backupDir, "");
        EXPECT_FALSE(Exists(dest + "/backup"));

        EXPECT_EQ(BackupMember(0), kBackupGoOn);  // not a settings file: backed up
        EXPECT_EQ(session.settingsPolicy, 0);
        EXPECT_EQ(std::string(session.backupDir), std::string(session.destDir) + "\\backup\\");

        EXPECT_EQ(BackupMember(5), c.result);
        EXPECT_EQ(session.settingsPolicy, c.policy);
        session.keepSettings = c.keepLater;
        EXPECT_EQ(BackupMember(6), c.result);
        EXPECT_EQ(session.settingsPolicy, c.policy);
        EXPECT_EQ(Exists(DestFile("macros.ini")), c.result == kBackupKeep);
        EXPECT_TRUE(recordedUi.errors.empty());
    }
}

TEST_F(Backup, DestinationTooLongForTheBackupFolder)
{
    // destDir of 291 characters leaves backupDir exactly its 299; one more
    // leaves no room, and the folder counts as one that cannot be made.
    for (size_t length : {291u, 292u}) {
        SCOPED_TRACE(length);
        std::string base = root + "/l" + std::to_string(length);
        std::string win = ToWindowsPath(base);
        ASSERT_LT(win.size() + 2, length);
        std::string path = base;
        size_t winLength = win.size();
        ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
        while (winLength < length) {
            size_t part = std::min<size_t>(200, length - winLength - 1);
            if (length - winLength - 1 - part == 1)
                part--;  // leave room for one more level of at least one character
            path += "/" + std::string(part, 'p');
            winLength += part + 1;
            ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
        }
        SetDest(path);
        ASSERT_EQ(strlen(session.destDir), length);
        WriteAll(DestFile("yelk32.exe"), Text("old"));

        ResetInstall();
        ResetRecordedUi();
        bool fits = length == 291;
        EXPECT_EQ(BackupMember(0), fits ? kBackupGoOn : kBackupFailed);
        EXPECT_EQ(recordedUi.errors, fits ? std::vector<int>{} : std::vector<int>{6});
        EXPECT_EQ(Exists(BackupFile("yelk32.exe")), fits);
        EXPECT_EQ(Exists(DestFile("yelk32.exe")), !fits);
        if (fits)
            EXPECT_EQ(strlen(session.backupDir), (size_t)kPathSize - 1);
    }
}

}  // namespace
