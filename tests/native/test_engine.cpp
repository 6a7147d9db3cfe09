// The extraction engine on real folders: scanning in slices, splitting at the
// marker, finishing members, the temporary file, clean-up, and real write faults.
#include "tests/native/test_engine_fixture.h"

#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "common/messages.h"

using namespace enginetest;

namespace {

const char kMarker[] = {'A', 'R', 'N', 'I'};

Bytes Marker() { return Bytes(kMarker, kMarker + 4); }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(MemberPath, JoinsDestDirAndTheFileTable)
{
    struct Case {
        const char *destDir;
        int index;
        const char *expected;
    } cases[] = {
        {"c:\\yelk", 0, "c:\\yelk\\yelk32.exe"},
        {"c:\\yelk", 4, "c:\\yelk\\history.txt"},
        {"c:\\yelk", 9, "c:\\yelk\\marks.ini"},
        {"c:\\yelk\\", 1, "c:\\yelk\\\\yelk.hlp"},  // no separator is removed
        {"c:\\yelk", -1, ""},
        {"c:\\yelk", 10, ""},
    };
    for (const Case &c : cases) {
        strcpy(session.destDir, c.destDir);
        char out[kMemberPathSize];
        MemberPath(out, c.index);
        EXPECT_STREQ(out, c.expected) << c.destDir << " " << c.index;
    }

    // The longest folder the session holds still gets its whole path.
    std::string longDir = "c:\\" + std::string(kPathSize - 4, 'd');
    strcpy(session.destDir, longDir.c_str());
    char out[kMemberPathSize];
    MemberPath(out, 4);
    EXPECT_EQ(std::string(out), longDir + "\\history.txt");
}

TEST(ReadMemberChecks, TakesOnlyAWellFormedRecord)
{
    // Ten members, each a size then a CRC, eight lowercase hex digits each.
    auto record = [](int member, const char *size, const char *crc) {
        std::string text;
        for (int i = 0; i < kMemberCount; i++) {
            char field[17];
            snprintf(field, sizeof field, "%08x%08x", 0x100u + i, 0xc0ffee00u + i);
            text += field;
        }
        if (size)
            text.replace(16 * member, 8, size);
        if (crc)
            text.replace(16 * member + 8, 8, crc);
        return text;
    };
    struct Case {
        const char *what;
        std::string text;
        int ok;
    } cases[] = {
        {"well formed", record(0, nullptr, nullptr), 1},
        {"a CRC of 0 is a CRC", record(3, nullptr, "00000000"), 1},
        {"all sixteen digits", record(9, "0089abcd", "ef012345"), 1},
        {"a size of 0: no member is empty", record(4, "00000000", nullptr), 0},
        {"the last member's size 0", record(9, "00000000", nullptr), 0},
        {"an uppercase digit", record(2, nullptr, "c0FFee02"), 0},
        {"a letter past f", record(5, "0000010g", nullptr), 0},
        {"the character after 9", record(6, nullptr, "c0ffee0:"), 0},
        {"the character before 0", record(7, "/0000107", nullptr), 0},
        {"the character before a", record(8, "0000010`", nullptr), 0},
        {"a digit short", record(0, nullptr, nullptr).substr(1), 0},
        {"a digit more", record(0, nullptr, nullptr) + "0", 0},
        {"empty", "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        memset(memberChecks, 0x55, sizeof memberChecks);
        EXPECT_EQ(ReadMemberChecks(c.text.c_str()), c.ok);
        if (!c.ok) {
            for (int i = 0; i < kMemberCount; i++)
                EXPECT_TRUE(memberChecks[i].size == 0 && memberChecks[i].crc == 0) << "member " << i << " left set";
        }
    }
    // What a well-formed record holds.
    ASSERT_EQ(ReadMemberChecks(record(9, "0089abcd", "ef012345").c_str()), 1);
    EXPECT_EQ(memberChecks[0].size, 0x100u);
    EXPECT_EQ(memberChecks[0].crc, 0xc0ffee00u);
    EXPECT_EQ(memberChecks[8].size, 0x108u);
    EXPECT_EQ(memberChecks[8].crc, 0xc0ffee08u);
    EXPECT_EQ(memberChecks[9].size, 0x0089abcdu);
    EXPECT_EQ(memberChecks[9].crc, 0xef012345u);
    memset(memberChecks, 0, sizeof memberChecks);
}

TEST(ResetInstall, BuildsTheMarkerAndClearsTheRunButNotTheOptions)
{
    session = InstallSession();
    session.markerPos = 3;
    session.sliceCount = 99;
    session.memberIndex = 7;
    session.settingsPolicy = kSettingsReplace;
    session.createdDestDir = 1;
    session.abortRequested = 1;
    session.overallFill = 50;
    session.setupSize = 1234;
    strcpy(session.tempPath, "c:\\yelk.tmp");
    strcpy(session.backupDir, "c:\\yelk\\backup\\");
    session.wroteMember[3] = 1;
    session.makeBackups = 1;
    session.keepSettings = 0;
    strcpy(session.destDir, "c:\\yelk");

    ResetInstall();
    EXPECT_EQ(memcmp(session.marker, kMarker, 4), 0);
    EXPECT_EQ(session.marker[4], '\0');
    const struct {
        const char *field;
        long value;
    } cleared[] = {
        {"markerPos", session.markerPos},
        {"sliceCount", session.sliceCount},
        {"memberIndex", session.memberIndex},
        {"settingsPolicy", session.settingsPolicy},
        {"createdDestDir", session.createdDestDir},
        {"abortRequested", session.abortRequested},
        {"overallFill", session.overallFill},
        {"setupSize", session.setupSize},
    };
    for (const auto &c : cleared)
        EXPECT_EQ(c.value, 0) << c.field;
    EXPECT_STREQ(session.tempPath, "");
    EXPECT_STREQ(session.backupDir, "");
    EXPECT_EQ(session.wroteMember[3], 0);
    EXPECT_EQ(session.setupStream, nullptr);
    EXPECT_EQ(session.makeBackups, 1);
    EXPECT_EQ(session.keepSettings, 0);
    EXPECT_STREQ(session.destDir, "c:\\yelk");
}

class Engine : public EngineFixture {};

TEST_F(Engine, FreshInstallWritesEveryFileAndStopsAtTheTerminator)
{
    std::vector<Bytes> files = ClientFiles(1);
    Bytes image = ImageBytes(40000, 7);
    Bytes payload = BuildPayload(EncodeAll(files));
    // Whatever follows the terminator is never read: not even another member.
    Bytes tail = Concat({Marker(), Encode(Text("never read")), Marker(), Marker()});
    std::string file = WriteInstaller(Concat({image, payload, tail}));
    // A bar as wide as the file makes every paint's fill the read position.
    ResetRecordedUi(0, (int)(image.size() + payload.size() + tail.size()));

    EXPECT_EQ(RunInstall(file), kPumpFinished);
    EXPECT_EQ(session.memberIndex, kMemberCount);
    ExpectInstalled(files);
    EXPECT_TRUE(recordedUi.errors.empty());
    EXPECT_EQ(session.setupStream, nullptr);
    EXPECT_EQ(session.memberStream, nullptr);
    EXPECT_TRUE(FolderIsEmpty(tmp)) << "temporary member file left behind";
    EXPECT_FALSE(Exists(dest + "/backup"));
    for (int i = 0; i < kMemberCount; i++)
        EXPECT_EQ(session.wroteMember[i], 1);

    // The last paint is at the end of the terminator's first marker.
    ASSERT_FALSE(recordedUi.scanPaints.empty());
    EXPECT_EQ(recordedUi.scanPaints.back(), (int32_t)(image.size() + payload.size() - 6));

    // Every slice but the last consumed exactly 15001 bytes.
    ASSERT_GE(consumed.size(), 4u);
    for (long n : consumed)
        EXPECT_EQ(n, 15001);

    std::vector<std::string> extracting;
    for (const std::string &s : recordedUi.statusTexts)
        if (s.rfind("Extracting file: ", 0) == 0)
            extracting.push_back(s.substr(17));
    EXPECT_EQ(extracting, std::vector<std::string>(kNames, kNames + kMemberCount));
}

TEST_F(Engine, FileWithoutAnyMarkerFinishesWithNoMember)
{
    std::string file = WriteInstaller(ImageBytes(50000, 3));
    EXPECT_EQ(RunInstall(file), kPumpFinished);
    EXPECT_EQ(session.memberIndex, 0);
    EXPECT_EQ(consumed, std::vector<long>(3, 15001));
    EXPECT_TRUE(recordedUi.errors.empty());
    EXPECT_TRUE(FolderIsEmpty(tmp));
    EXPECT_FALSE(Exists(dest)) << "the folder this run created stays after clean-up";
}

TEST_F(Engine, OddSlicesResumeToTheSameFiles)
{
    std::vector<Bytes> files = ClientFiles(2);
    std::string file = InstallerOf(files, 5000);
    const std::vector<int> patterns[] = {
        {1}, {2, 3, 5, 7}, {4093}, {15000, 1}, {kSliceBytes},
    };
    int run = 0;
    for (const std::vector<int> &pattern : patterns) {
        SCOPED_TRACE(run);
        SetDest(root + "/dest" + std::to_string(run++));
        ASSERT_EQ(RunInstall(file, pattern), kPumpFinished);
        ExpectInstalled(files);
        // A call that returned 3 consumed exactly what its slice allowed.
        for (size_t i = 0; i < consumed.size(); i++)
            ASSERT_EQ(consumed[i], pattern[i % pattern.size()]) << "call " << i;
    }
}

TEST_F(Engine, BytesThatBreakAPartialMarkerAreNotTriedAgain)
{
    std::vector<Bytes> files = ClientFiles(1);
    files[0] = Text(std::string(3000, 'x') + "first member");
    Bytes spare = Text("one member more");
    struct Case {
        const char *between;  // bytes after member 0's stream, ahead of a marker
        bool markerFound;
    } cases[] = {
        {"", true}, {"X", true}, {"A", false}, {"AR", false}, {"ARN", false},
        {"AA", true},    // the second A breaks the match; the marker's own A starts one
        {"ARNA", true},  // likewise
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.between);
        SetDest(root + "/dest" + std::to_string(run++));
        // A hidden marker joins member 1's stream to member 0's; a spare
        // member then keeps the count at ten.
        Bytes bytes = Concat({ImageBytes(100, 1), Marker(), Encode(files[0]), Text(c.between)});
        for (int i = 1; i < kMemberCount; i++)
            bytes = Concat({bytes, Marker(), Encode(files[i])});
        if (!c.markerFound)
            bytes = Concat({bytes, Marker(), Encode(spare)});
        bytes = Concat({bytes, Marker(), Marker()});
        ASSERT_EQ(RunInstall(WriteInstaller(bytes)), kPumpFinished);
        // The decoder stops at member 0's size, whatever was appended to it.
        EXPECT_EQ(ReadAll(DestFile("yelk32.exe")), files[0]);
        EXPECT_EQ(ReadAll(DestFile("yelk.hlp")), c.markerFound ? files[1] : files[2]);
        EXPECT_EQ(ReadAll(DestFile("marks.ini")), c.markerFound ? files[9] : spare);
    }
}

TEST_F(Engine, FileThatEndsBeforeTheLastMemberIsClosedIsError9)
{
    // The installer file changed after its check, or cannot be read to its
    // end: whatever was read of a member, the run fails and is undone.
    std::vector<Bytes> files = ClientFiles(1);
    Bytes image = ImageBytes(3000, 4);
    Bytes payload = BuildPayload(EncodeAll(files));
    // Where member 3's stream starts; the terminator is the last 10 bytes.
    size_t member3 = 0, terminator = payload.size() - 10;
    for (size_t i = 0, seen = 0; i + 4 <= payload.size(); i++)
        if (memcmp(&payload[i], kMarker, 4) == 0 && ++seen == 4)
            member3 = i + 4;
    ASSERT_GT(member3, 0u);
    const struct {
        const char *what;
        size_t keep;          // payload bytes left in the file
    } cases[] = {
        {"a member cut in its middle", member3 + 5},
        {"a member whole, but its closing marker missing", member3 - 4},
        {"the held-back start of the closing marker", member3 - 2},
        {"the last member without the terminator", terminator},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/" + std::to_string(c.keep));
        ResetRecordedUi();
        Bytes cut(payload.begin(), payload.begin() + (long)c.keep);
        EXPECT_EQ(RunInstall(WriteInstaller(Concat({image, cut}))), kPumpFailed);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{9});
        EXPECT_EQ(recordedUi.errorTexts.back(), ErrorText(9));
        EXPECT_EQ(session.setupStream, nullptr);
        EXPECT_EQ(session.memberStream, nullptr);
        EXPECT_FALSE(Exists(dest)) << "nothing of the run stays";
        EXPECT_TRUE(FolderIsEmpty(tmp));
    }

    // A read error while scanning: a folder stands where the file was.
    SetDest(root + "/readerror");
    ResetRecordedUi();
    ResetInstall();
    ASSERT_EQ(CreateDestDir(), 1);
    session.setupStream = OpenFileStream(ToWindowsPath(root).c_str(), "rb");
    ASSERT_NE(session.setupStream, nullptr);
    EXPECT_EQ(PumpExtraction(), kPumpFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{9});
    EXPECT_EQ(session.setupStream, nullptr);
}

TEST_F(Engine, FolderThatCannotBeTheDestinationIsRefusedBeforeAnythingIsWritten)
{
    std::string file = InstallerOf(ClientFiles(1));
    // Relative names would land wherever the run happens to be; a folder too
    // long would have its composed paths cut; a file cannot take the
    // members, a device name or a name ending in a dot or space is no folder
    // the system makes. All are [1] with nothing made.
    const std::string longFolder = ToWindowsPath(root) + "\\" + std::string(234 - ToWindowsPath(root).size(), 'y');
    ASSERT_EQ(longFolder.size(), 235u);
    WriteAll(root + "/afile", Text("a file"));
    const std::string base = ToWindowsPath(root) + "\\";
    for (const std::string &folder : {std::string("RelYelk"), longFolder + "y", base + "afile", base + "nul",
                                      base + "com1.txt", base + "yelk.", base + "yelk "}) {
        SCOPED_TRACE(folder);
        strcpy(session.destDir, folder.c_str());
        ResetRecordedUi();
        EXPECT_EQ(RunInstall(file), -1);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{1});
        EXPECT_EQ(session.createdDestDir, 0);
        EXPECT_TRUE(FolderIsEmpty(tmp));
    }
    EXPECT_FALSE(Exists(root + "/drives"));
    EXPECT_FALSE(Exists(ToLinuxPath((longFolder + "y").c_str())));
    EXPECT_EQ(ReadAll(root + "/afile"), Text("a file"));
    EXPECT_EQ(FolderNames(root), (std::vector<std::string>{"afile", "setup.bin", "tmp"}));

    // The longest folder that fits installs whole.
    strcpy(session.destDir, longFolder.c_str());
    dest = ToLinuxPath(longFolder.c_str());
    ResetRecordedUi();
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    ExpectInstalled(ClientFiles(1));
}

TEST_F(Engine, FolderThatStoodBeforeTheRunStaysAfterItsCleanup)
{
    std::vector<Bytes> files = ClientFiles(1);
    std::vector<Bytes> streams = EncodeAll(files);
    streams[4] = Bytes{0, 0, 0, 0};   // history.txt: size 0, [5]
    const struct {
        const char *what;
        std::string file;
        bool abort;
    } cases[] = {
        {"failed", WriteInstaller(BuildPayload(streams), "damaged.bin"), false},
        {"aborted", InstallerOf(files), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/" + c.what);
        ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
        ResetRecordedUi();
        if (c.abort) {
            ResetInstall();
            ASSERT_EQ(CreateDestDir(), 1);
            session.setupStream = OpenFileStream(ToWindowsPath(c.file).c_str(), "rb");
            while (session.memberIndex < 3)
                ASSERT_EQ(PumpExtraction(), kPumpMore);
            CleanupInstall();
            ResetInstall();
        } else {
            EXPECT_EQ(RunInstall(c.file), kPumpFailed);
            EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
        }
        EXPECT_TRUE(Exists(dest));
        EXPECT_TRUE(FolderIsEmpty(dest));
    }
}

TEST_F(Engine, StatusLineNamesTheMemberOnceTheBarMoves)
{
    std::vector<Bytes> files = ClientFiles(1);
    struct Case {
        int barWidth;
        const char *firstScan;   // status when member 0 starts (after 40000 image bytes)
    } cases[] = {
        {400, "Scanning file: yelk32.exe"},
        {0, "Scanning files..."},  // no dialog: the bar never fills
    };
    std::string file = InstallerOf(files, 40000);
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.barWidth);
        // A destDir ending in a backslash gives paths with two; names stay right.
        SetDest(root + "/dest" + std::to_string(run++));
        strcat(session.destDir, "\\");
        ResetRecordedUi(0, c.barWidth);
        ASSERT_EQ(RunInstall(file), kPumpFinished);
        ExpectInstalled(files);
        const std::vector<std::string> &s = recordedUi.statusTexts;
        ASSERT_GE(s.size(), 3u);
        EXPECT_EQ(s[0], "Scanning files...");  // before anything was read
        EXPECT_EQ(s[1], c.firstScan);
        EXPECT_EQ(s[2], "Extracting file: yelk32.exe");
        EXPECT_EQ(s.back(), "Extracting file: marks.ini");
    }
}

TEST_F(Engine, TemporaryFile)
{
    std::vector<Bytes> files = ClientFiles(1);
    std::string file = InstallerOf(files);

    // No temporary folder to be had (it does not fit): the file goes to c:.
    setenv("TMPDIR", ("/" + std::string(kPathSize, 't')).c_str(), 1);
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    EXPECT_STREQ(session.tempPath, "c:\\yelk.tmp");
    ExpectInstalled(files);
    EXPECT_FALSE(Exists(root + "/drives/c/yelk.tmp"));

    // A temporary folder that does not exist: [11], and the run is undone.
    setenv("TMPDIR", (root + "/missing").c_str(), 1);
    SetDest(root + "/dest2");
    ASSERT_EQ(RunInstall(file), kPumpFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{11});
    EXPECT_EQ(recordedUi.errorTexts.back(), ErrorText(11));
    EXPECT_EQ(session.setupStream, nullptr);
    EXPECT_FALSE(Exists(dest));
}

TEST_F(Engine, HelpIndexesGoAfterTheirHelpFiles)
{
    std::vector<Bytes> files = ClientFiles(1);
    std::string file = InstallerOf(files);
    struct Case {
        const char *folder;
        bool gidIsFolder;   // yelk.gid is a folder: it cannot go, and no message
        bool earlier;       // an earlier installation in a folder named *.ini:
                            // only the settings files stay, so both help files
                            // are new and both indexes go
        bool gidRemains;
    } cases[] = {
        {"plain", false, false, false},
        {"gidfolder", true, false, true},
        {"old.ini", false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        SetDest(root + "/" + c.folder);
        ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
        if (c.earlier)
            for (int i = 0; i < kMemberCount; i++)
                WriteAll(DestFile(kNames[i]), Text("old"));
        if (c.gidIsFolder)
            ASSERT_EQ(mkdir(DestFile("yelk.gid").c_str(), 0777), 0);
        else
            WriteAll(DestFile("yelk.gid"), Text("index"));
        WriteAll(DestFile("primer.gid"), Text("index"));
        chmod(DestFile("primer.gid").c_str(), 0444);  // read-only goes too

        // Looked at between slices small enough that each ends at most one
        // member: yelk.gid goes with member 1 (yelk.hlp) and primer.gid with
        // member 2 (primer.hlp), never with another.
        std::vector<int> looked(kMemberCount + 1, 0);
        auto look = [&] {
            int done = session.memberIndex;
            looked[done]++;
            EXPECT_EQ(Exists(DestFile("yelk.gid")), done < 2 || c.gidRemains) << done << " members done";
            EXPECT_EQ(Exists(DestFile("primer.gid")), done < 3) << done << " members done";
        };
        ResetRecordedUi();
        ASSERT_EQ(RunInstall(file, {64}, look), kPumpFinished);
        EXPECT_TRUE(recordedUi.errors.empty());
        for (int done = 0; done <= kMemberCount; done++)
            EXPECT_GT(looked[done], 0) << "never looked after " << done << " members";
        EXPECT_EQ(Exists(DestFile("yelk.gid")), c.gidRemains);
        EXPECT_FALSE(Exists(DestFile("primer.gid")));
    }
}

TEST_F(Engine, AbortPutsTheEarlierInstallationBackAndALateTickReadsNothing)
{
    std::vector<Bytes> old = ClientFiles(1);
    std::vector<Bytes> files = ClientFiles(2);
    std::string file = InstallerOf(files);

    // Existing files: yelk32.exe gets backed up, the ini files are kept.
    ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
    WriteAll(DestFile("yelk32.exe"), old[0]);
    for (int i = 5; i < kMemberCount; i++)
        WriteAll(DestFile(kNames[i]), old[i]);

    ResetInstall();
    ASSERT_EQ(CreateDestDir(), 1);
    session.setupStream = OpenFileStream(ToWindowsPath(file).c_str(), "rb");
    ASSERT_NE(session.setupStream, nullptr);
    int result;
    do {
        session.sliceCount = kSliceBytes - 997;
        result = PumpExtraction();
    } while (result == kPumpMore && session.memberIndex < 7);
    ASSERT_EQ(result, kPumpMore);
    ASSERT_TRUE(Exists(DestFile("about.txt")));

    // Abort confirmed: clean up and reset, as the wizard does. The folder is
    // as it was before Install: yelk32.exe is back from the backup folder
    // the run made, which goes again.
    CleanupInstall();
    ResetInstall();
    EXPECT_EQ(ReadAll(DestFile("yelk32.exe")), old[0]);
    for (int i = 1; i < 5; i++)
        EXPECT_FALSE(Exists(DestFile(kNames[i]))) << kNames[i];
    for (int i = 5; i < kMemberCount; i++)
        EXPECT_EQ(ReadAll(DestFile(kNames[i])), old[i]) << kNames[i];
    EXPECT_EQ(FolderNames(dest), (std::vector<std::string>{"hosts.ini", "macros.ini", "marks.ini", "menus.ini",
                                                            "yelk.ini", "yelk32.exe"}));
    EXPECT_TRUE(FolderIsEmpty(tmp));

    // A timer tick that was already on its way.
    ResetRecordedUi();
    EXPECT_EQ(PumpExtraction(), kPumpIdle);
    EXPECT_TRUE(recordedUi.errors.empty());
    EXPECT_TRUE(recordedUi.statusTexts.empty());
    EXPECT_TRUE(recordedUi.scanPaints.empty());

    // Install again from the start.
    session.keepSettings = 0;
    ASSERT_EQ(RunInstall(file), kPumpFinished);
    ExpectInstalled(files);
}

TEST_F(Engine, CleanupNeverDeletesFilesThePolicyKept)
{
    std::vector<Bytes> old = ClientFiles(1);
    std::vector<Bytes> files = ClientFiles(2);
    ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
    for (int i = 5; i < 9; i++) {
        WriteAll(DestFile(kNames[i]), old[i]);
        SetOldModTime(DestFile(kNames[i]));
    }
    // marks.ini is new here, and its member has a size field of 0: [5].
    std::vector<Bytes> streams = EncodeAll(files);
    streams[9] = Bytes{0, 0, 0, 0, 0x55};
    std::string file = WriteInstaller(BuildPayload(streams));

    EXPECT_EQ(RunInstall(file), kPumpFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
    for (int i = 0; i < 5; i++)
        EXPECT_FALSE(Exists(DestFile(kNames[i]))) << kNames[i];
    for (int i = 5; i < 9; i++) {
        EXPECT_EQ(ReadAll(DestFile(kNames[i])), old[i]) << kNames[i];
        EXPECT_EQ(ModTime(DestFile(kNames[i])).tv_sec, 1000000000);
    }
    EXPECT_FALSE(Exists(DestFile("marks.ini")));
    EXPECT_TRUE(FolderIsEmpty(tmp));
}

// Writes that fail part-way, under a real file-size limit, in a child process.
TEST_F(Engine, FailedWritesNeverPassForSuccess)
{
    const size_t kLimit = 200000;
    Bytes bigText;
    while (bigText.size() < 3 * kLimit)
        bigText.insert(bigText.end(), {'y', 'e', 'l', 'k', ' ', (uint8_t)('0' + bigText.size() % 7), '\n'});
    Bytes bigNoise = ImageBytes(kLimit + 50000, 5);

    struct Case {
        const char *what;
        int member;         // member replaced by a big one
        size_t size;        // its size
        bool noise;         // its stream is over the limit too (else only its file)
        bool existingIni;   // the folder exists and holds kept settings files
        int error;
    } cases[] = {
        {"installed file over the limit", 2, 3 * kLimit, false, false, 5},
        // Only the flush at the close meets the limit.
        {"installed file's last bytes over the limit", 2, kLimit + 100, false, false, 5},
        {"temporary file over the limit", 0, kLimit + 50000, true, false, 11},
        {"last file over the limit, settings kept", 9, 3 * kLimit, false, true, 5},
    };
    std::vector<Bytes> old = ClientFiles(1);
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetDest(root + "/dest" + std::to_string(run++));
        if (c.existingIni) {
            ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
            for (int i = 5; i < 9; i++)
                WriteAll(DestFile(kNames[i]), old[i]);
        }
        std::vector<Bytes> files = ClientFiles(2);
        files[c.member] = c.noise ? bigNoise : bigText;
        files[c.member].resize(c.size);
        std::string file = InstallerOf(files);

        fflush(nullptr);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {kLimit, kLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            int result = RunInstall(file);
            int error = recordedUi.errors.size() == 1 ? recordedUi.errors[0] : 15;
            _exit(result * 16 + error);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), kPumpFailed * 16 + c.error);

        if (c.existingIni) {
            for (int i = 0; i < kMemberCount; i++)
                if (i < 5 || i == 9)
                    EXPECT_FALSE(Exists(DestFile(kNames[i]))) << kNames[i];
                else
                    EXPECT_EQ(ReadAll(DestFile(kNames[i])), old[i]) << kNames[i];
        } else {
            EXPECT_FALSE(Exists(dest)) << "the folder this run created, with a partial file";
        }
        EXPECT_TRUE(FolderIsEmpty(tmp));
    }
}

TEST_F(Engine, FullDestinationVolumeKeepsTheFileThatWasThere)
{
    // Without backups an existing file is to be overwritten. On a full volume
    // the new one cannot be written: the old one must stay as it was. A big
    // member fails while it is decoded; a small one only when its buffered
    // bytes are flushed at the close.
    SmallVolume volume(root + "/volume");
    if (!volume.mounted())
        GTEST_SKIP() << volume.why();
    Bytes previous = Text("the user's own yelk32.exe, small enough to leave the new one no room");
    for (size_t size : {70000u, 1000u, 999u}) {
        bool backups = size == 999;   // the backup folder to make, and the file to move into it
        SCOPED_TRACE(size);
        std::vector<Bytes> files = ClientFiles(1);
        files[0].resize(size);
        std::string file = InstallerOf(files);   // outside the volume
        SetDest(root + "/volume/dest" + std::to_string(size));
        ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
        WriteAll(DestFile("yelk32.exe"), previous);
        volume.Fill();
        session.makeBackups = backups;

        // The run's journal cannot be written either: a write that fails on
        // a full volume is [5], whichever write meets it first, and the run
        // ends before anything moves; no backup folder is left behind.
        ResetRecordedUi();
        EXPECT_EQ(RunInstall(file), kPumpFailed);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{5});
        EXPECT_EQ(ReadAll(DestFile("yelk32.exe")), previous);
        EXPECT_EQ(FolderNames(dest), std::vector<std::string>{"yelk32.exe"});
        EXPECT_TRUE(FolderIsEmpty(tmp));
        remove((root + "/volume/filler").c_str());
    }
}

TEST_F(Engine, DestinationThatCannotBeReplacedIsError4)
{
    std::vector<Bytes> files = ClientFiles(1);
    ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
    // Without backups a folder standing at yelk.hlp is neither moved nor
    // replaced: the member cannot take its name. A file of the user's named
    // like the old fixed temporary name is neither written nor removed.
    ASSERT_EQ(mkdir(DestFile("yelk.hlp").c_str(), 0777), 0);
    WriteAll(DestFile("yelk.new"), Text("the user's own"));
    session.makeBackups = 0;

    EXPECT_EQ(RunInstall(InstallerOf(files)), kPumpFailed);
    EXPECT_EQ(recordedUi.errors, std::vector<int>{4});
    EXPECT_EQ(recordedUi.errorTexts.back(), ErrorText(4));
    EXPECT_FALSE(Exists(DestFile("yelk32.exe"))) << "the member written before goes";
    EXPECT_TRUE(Exists(DestFile("yelk.hlp")));
    EXPECT_EQ(ReadAll(DestFile("yelk.new")), Text("the user's own"));
    EXPECT_EQ(FolderNames(dest), (std::vector<std::string>{"yelk.hlp", "yelk.new"}));
    EXPECT_TRUE(FolderIsEmpty(tmp));
}

}  // namespace
