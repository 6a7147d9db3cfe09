// yelkpack extract as the headless installer: exit codes, the one-line error
// report, the options, and that it writes nothing outside its folder and the
// temporary file.
#include "tests/native/test_engine_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <set>
#include <sys/wait.h>

#include "common/messages.h"
#include "payload/container.h"
#include "payload/crc.h"
#include "payload/marker.h"
#include "tests/support/stopchild.h"

using namespace enginetest;
using testsupport::Caught;
using testsupport::SignalStoppedChild;
using testsupport::StopChildWhen;

/* The installer's check is never run here: the tool is run as a program. */
uint32_t ExpectedPayloadCrc() { return 0; }

namespace {

std::set<std::string> *treeOut;
size_t treePrefix;

int AddEntry(const char *path, const struct stat *, int, struct FTW *)
{
    treeOut->insert(std::string(path).substr(treePrefix));
    return 0;
}

/* Every path under folder, relative to it. */
std::set<std::string> Tree(const std::string &folder)
{
    std::set<std::string> tree;
    treeOut = &tree;
    treePrefix = folder.size();
    nftw(folder.c_str(), AddEntry, 16, FTW_PHYS);
    return tree;
}

std::string Line(int number)
{
    std::string text = ErrorText(number);
    size_t at;
    while ((at = text.find("\n\n")) != std::string::npos)
        text.replace(at, 2, " ");
    return "Yelk Installation Error [" + std::to_string(number) + "]: " + text + "\n";
}

class HeadlessInstaller : public EngineFixture {
protected:
    std::string errors;   /* what the last run printed on stderr */
    std::string payload;  /* a bare payload of version 1 */
    std::string crcHex;   /* its CRC */

    void SetUp() override
    {
        EngineFixture::SetUp();
        std::vector<Bytes> streams = EncodeAll(ClientFiles(1));
        Bytes bytes = BuildPayload(streams);
        payload = WriteInstaller(bytes, "payload.bin");
        /* The CRC-32 of the ten greedy streams of client version 1, one
           after the other, as `yelkpack list` reports it. */
        crcHex = "96aaec15";
        mkdir((root + "/cwd").c_str(), 0777);
    }

    /* Runs yelkpack extract with args from the sandbox's cwd; its exit code. */
    int Extract(std::vector<std::string> args, const std::string &tmpdir = "")
    {
        args.insert(args.begin(), {YELKPACK_PATH, "extract"});
        std::string errFile = root + "/stderr.txt";
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            setenv("TMPDIR", (tmpdir.empty() ? tmp : tmpdir).c_str(), 1);
            if (chdir((root + "/cwd").c_str()) != 0)
                _exit(99);
            int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(98);
        }
        int status = 0;
        waitpid(child, &status, 0);
        Bytes err = ReadAll(errFile);
        errors.assign(err.begin(), err.end());
        remove(errFile.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(HeadlessInstaller, InstallsAndWritesNothingElse)
{
    std::set<std::string> before = Tree(root);
    ASSERT_EQ(Extract({"--crc", crcHex, payload, "dest"}), 0) << errors;  // relative DIR, options anywhere
    EXPECT_EQ(errors, "");
    dest = root + "/cwd/dest";
    ExpectInstalled(ClientFiles(1));

    std::set<std::string> after = Tree(root);
    for (const std::string &p : after)
        if (p.rfind("/cwd/dest", 0) != 0)
            EXPECT_TRUE(before.count(p)) << "written outside the folder: " << p;
}

TEST_F(HeadlessInstaller, OptionsAsTheWizardOffersThem)
{
    std::vector<Bytes> v1 = ClientFiles(1);
    struct Case {
        std::vector<std::string> options;
        bool backups, keep;
    } cases[] = {
        {{}, true, true},
        {{"--no-backups"}, false, true},
        {{"--no-keep-settings", "--no-backups"}, false, false},
        {{"--no-keep-settings"}, true, false},
    };
    int run = 0;
    for (const Case &c : cases) {
        std::string folder = root + "/d" + std::to_string(run++);
        SCOPED_TRACE(folder);
        ASSERT_EQ(Extract({payload, folder, "--crc", crcHex}), 0) << errors;
        // The ini files of the first run are changed by the user.
        for (int i = 5; i < kMemberCount; i++)
            WriteAll(folder + "/" + kNames[i], Text("user's own"));
        std::vector<std::string> args = {payload, folder, "--crc", crcHex};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(Extract(args), 0) << errors;
        for (int i = 0; i < kMemberCount; i++) {
            bool kept = i >= 5 && c.keep;
            EXPECT_EQ(ReadAll(folder + "/" + kNames[i]), kept ? Text("user's own") : v1[i]) << kNames[i];
        }
        EXPECT_EQ(Exists(folder + "/backup/yelk32.exe"), c.backups);
        EXPECT_EQ(Exists(folder + "/backup/yelk.ini"), c.backups && !c.keep);
    }
}

TEST_F(HeadlessInstaller, ErrorsBecomeOneLineAndTheExitCode)
{
    std::vector<Bytes> streams = EncodeAll(ClientFiles(1));
    streams[3] = Bytes{0, 0, 0, 0, 7};  // a size field of 0: [5]
    std::string broken = WriteInstaller(BuildPayload(streams), "broken.bin");
    const std::string brokenCrc = "ec287b1b";   /* the same with member 3 replaced */

    mkdir((root + "/taken").c_str(), 0777);
    WriteAll(root + "/taken/yelk32.exe", Text("old"));
    WriteAll(root + "/taken/backup", Text("a file"));

    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::string tmpdir;
        int code;
        const char *folderLeft;   // what stays of the folder afterwards ("" for nothing)
    } cases[] = {
        {"parent missing", {payload, root + "/no/dest", "--crc", crcHex}, "", 1, ""},
        {"file missing", {root + "/none.bin", root + "/d2", "--crc", crcHex}, "", 2, ""},
        {"wrong CRC", {payload, root + "/d3", "--crc", "1234abcd"}, "", 10, ""},
        {"temporary folder missing", {payload, root + "/d4", "--crc", crcHex}, root + "/missing", 11, ""},
        {"member of size 0", {broken, root + "/d5", "--crc", brokenCrc}, "", 5, ""},
        {"backup is a file", {payload, root + "/taken", "--crc", crcHex}, "", 7, "/taken"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Extract(c.args, c.tmpdir), c.code);
        EXPECT_EQ(errors, Line(c.code));
        if (*c.folderLeft)
            EXPECT_TRUE(Exists(root + c.folderLeft));
        EXPECT_TRUE(FolderIsEmpty(tmp));
    }
    // A folder the run made goes again, whichever step failed.
    for (const char *made : {"/d2", "/d3", "/d4", "/d5"})
        EXPECT_FALSE(Exists(root + made)) << made;
    EXPECT_EQ(ReadAll(root + "/taken/yelk32.exe"), Text("old"));

    // A bare payload carries no CRC of its own; a wrong command line.
    EXPECT_EQ(Extract({payload, root + "/d6"}), 64);
    EXPECT_EQ(Extract({payload}), 64);
    EXPECT_EQ(Extract({payload, root + "/d7", "--crc", "xyz"}), 64);
    EXPECT_EQ(Extract({payload, root + "/d8", "--backups"}), 64);
}

/* The entries of a folder, by name. */
std::set<std::string> Entries(const std::string &folder)
{
    std::set<std::string> names;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

TEST_F(HeadlessInstaller, APlantedLinkCannotRedirectTheTemporaryFile)
{
    // Someone else who can write to the shared temporary folder plants
    // yelk.tmp as a link to a file of the user's, or to where one would go.
    struct Case {
        const char *what;
        bool victimExists;
    } cases[] = {
        {"link to an existing file", true},
        {"link to a file not there yet", false},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string victim = root + "/victim" + std::to_string(run);
        if (c.victimExists)
            WriteAll(victim, Text("the user's own file"));
        ASSERT_EQ(symlink(victim.c_str(), (tmp + "/yelk.tmp").c_str()), 0);

        std::string folder = root + "/d" + std::to_string(run++);
        ASSERT_EQ(Extract({payload, folder, "--crc", crcHex}), 0) << errors;
        dest = folder;
        ExpectInstalled(ClientFiles(1));
        if (c.victimExists)
            EXPECT_EQ(ReadAll(victim), Text("the user's own file"));
        else
            EXPECT_FALSE(Exists(victim));
        EXPECT_EQ(Entries(tmp), std::set<std::string>{"yelk.tmp"}) << "only the planted link is left";
        ASSERT_EQ(unlink((tmp + "/yelk.tmp").c_str()), 0);
    }
}

TEST_F(HeadlessInstaller, AnInterruptedRunRemovesItsTemporaryFolder)
{
    // A first member large enough that the run is still decoding it when it
    // is stopped: 48 MB of short runs, coded quickly.
    std::vector<Bytes> files = ClientFiles(1);
    files[0].clear();
    for (size_t i = 0; files[0].size() < (48u << 20); i++)
        files[0].insert(files[0].end(), 3 + i % 61, (uint8_t)(i * 37));
    std::vector<Bytes> streams = EncodeAll(files);
    std::string big = WriteInstaller(BuildPayload(streams), "big.bin");
    BuildMarker(session.marker);
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", PayloadCrc(ToWindowsPath(big).c_str()));

    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        std::string folder = root + "/d" + std::to_string(sig);
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(YELKPACK_PATH, YELKPACK_PATH, "extract", big.c_str(), folder.c_str(), "--crc", hex, (char *)nullptr);
            _exit(98);
        }
        // Caught once the temporary member file is in the run's folder.
        auto collecting = [&] {
            for (const std::string &name : Entries(tmp))
                if (Exists(tmp + "/" + name + "/yelk.tmp"))
                    return true;
            return false;
        };
        int status = 0;
        ASSERT_EQ(StopChildWhen(child, collecting, 20000, &status), Caught::kStopped)
            << "no temporary member file appeared";
        status = SignalStoppedChild(child, sig);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << "ends by the signal, as it would have; " << (WIFEXITED(status) ? "exit " : "status ")
            << (WIFEXITED(status) ? WEXITSTATUS(status) : status);
        EXPECT_TRUE(FolderIsEmpty(tmp)) << "the run's temporary folder is gone";
    }
}

/* An installer-like file for extract: the two compiled-in records (the CRC
   and each member's size and CRC), image bytes, then the payload. */
std::string InstallerFile(const std::string &path, const std::vector<Bytes> &files,
                          const std::vector<Bytes> &streams, int wrongMember = -1)
{
    Bytes payload = BuildPayload(streams);
    uint32_t reg = 0xFFFFFFFFu;
    for (const Bytes &st : streams)
        reg = CrcUpdate(reg, st.data(), st.size());
    uint32_t crc = ~reg;
    std::string records = "YELKCRC1";
    for (int k = 0; k < 4; k++)
        records += (char)(crc >> (8 * k));
    records += "YELKMEM1";
    for (int i = 0; i < kMemberCount; i++) {
        char check[17];
        uint32_t c = Crc32(files[i].data(), files[i].size()) ^ (i == wrongMember ? 1u : 0u);
        snprintf(check, sizeof check, "%08x%08x", (unsigned)files[i].size(), (unsigned)c);
        records += check;
    }
    records += '\0';
    Bytes bytes(records.begin(), records.end());
    Bytes image = ImageBytes(3000, 5);
    bytes.insert(bytes.end(), image.begin(), image.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    WriteAll(path, bytes);
    return path;
}

TEST_F(HeadlessInstaller, AFileOfTheUsersAtTheOldTemporaryNameIsNeverWrittenThrough)
{
    // yelk.new in the destination folder, a link to a file of the user's
    // elsewhere: the run decodes under names of its own, so neither the link
    // nor its target changes, with backups or without.
    std::vector<Bytes> v1 = ClientFiles(1);
    int run = 0;
    for (const char *option : {"--no-backups", "--no-keep-settings"}) {
        SCOPED_TRACE(option);
        std::string victim = root + "/victim" + std::to_string(run);
        WriteAll(victim, Text("the user's own file"));
        std::string folder = root + "/d" + std::to_string(run++);
        ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
        ASSERT_EQ(symlink(victim.c_str(), (folder + "/yelk.new").c_str()), 0);
        ASSERT_EQ(Extract({payload, folder, "--crc", crcHex, option}), 0) << errors;
        dest = folder;
        ExpectInstalled(v1);
        EXPECT_EQ(ReadAll(victim), Text("the user's own file"));
        char target[512] = {};
        ASSERT_GT(readlink((folder + "/yelk.new").c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), victim);
    }
}

TEST_F(HeadlessInstaller, UnusableDestinationsAreError1)
{
    WriteAll(root + "/afile", Text("a file"));
    for (const std::string &folder : {root + "/afile", root + "/nul", root + "/com3.log", root + "/yelk."}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(Extract({payload, folder, "--crc", crcHex}), 1) << errors;
        EXPECT_EQ(errors, Line(1));
    }
    EXPECT_EQ(ReadAll(root + "/afile"), Text("a file"));
    EXPECT_FALSE(Exists(root + "/nul"));
}

TEST_F(HeadlessInstaller, AMemberThatDiffersFromTheRecordIsError5AndTheFolderGoesBack)
{
    std::vector<Bytes> v1 = ClientFiles(1), v2 = ClientFiles(2);
    ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
    for (int i = 0; i < kMemberCount; i++)
        WriteAll(DestFile(kNames[i]), v1[i]);
    std::string file = InstallerFile(root + "/wrong.bin", v2, EncodeAll(v2), 3);
    for (const char *option : {"--no-backups", "--no-keep-settings"}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(Extract({file, dest, option}), 5) << errors;
        ExpectInstalled(v1);
        EXPECT_EQ(FolderNames(dest).size(), (size_t)kMemberCount);
    }
    std::string good = InstallerFile(root + "/good.bin", v2, EncodeAll(v2));
    EXPECT_EQ(Extract({good, dest, "--no-keep-settings"}), 0) << errors;
    ExpectInstalled(v2);
}

TEST_F(HeadlessInstaller, RunsKilledWithSigkillNeverLoseTheUsersFiles)
{
    // Two large members, so that a run can be caught in the middle: killed
    // while it decodes yelk32.exe, then (a second run) once yelk32.exe has
    // taken its name and yelk.hlp is being decoded; then a run that
    // completes. With backups the backup folder holds the user's originals,
    // never a killed run's new file; without, nothing of the runs remains.
    std::vector<Bytes> v1 = ClientFiles(1), v2 = ClientFiles(2);
    for (int k = 0; k < 2; k++) {
        v2[k].clear();
        for (size_t i = 0; v2[k].size() < (24u << 20); i++)
            v2[k].insert(v2[k].end(), 3 + i % 61, (uint8_t)(i * (37 + k)));
    }
    std::string file = InstallerFile(root + "/big.bin", v2, EncodeAll(v2));
    int n = 0;
    for (bool backups : {true, false}) {
        SCOPED_TRACE(backups ? "backups" : "no backups");
        SetDest(root + "/k" + std::to_string(n++));
        ASSERT_EQ(mkdir(dest.c_str(), 0777), 0);
        for (int i = 0; i < kMemberCount; i++)
            WriteAll(DestFile(kNames[i]), v1[i]);
        std::string journal = DestFile("yelkundo.jnl");
        // Kill points: a step the journal shows (its twelve-byte records
        // after the four-byte magic), and that the run goes on past: the file
        // of its own that member 0, then member 1, is decoded into.
        for (int member : {0, 1}) {
            fflush(nullptr);
            pid_t child = fork();
            if (child == 0) {
                int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                dup2(null, 2);
                setenv("TMPDIR", tmp.c_str(), 1);
                execl(YELKPACK_PATH, YELKPACK_PATH, "extract", file.c_str(), dest.c_str(), "--no-keep-settings",
                      backups ? "--no-keep-settings" : "--no-backups", (char *)nullptr);
                _exit(98);
            }
            auto decoding = [&] {
                Bytes j = ReadAll(journal);
                for (size_t at = 4; at + 12 <= j.size(); at += 12)
                    if (j[at] == 'T' && j[at + 1] == member)
                        return true;
                return false;
            };
            int status = 0;
            ASSERT_EQ(StopChildWhen(child, decoding, 20000, &status), Caught::kStopped)
                << "the run never began to decode member " << member;
            status = SignalStoppedChild(child, SIGKILL);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        }
        ASSERT_EQ(Extract({file, dest, "--no-keep-settings", backups ? "--no-keep-settings" : "--no-backups"}), 0)
            << errors;
        ExpectInstalled(v2);
        std::vector<std::string> names(kNames, kNames + kMemberCount);
        if (backups) {
            names.push_back("backup");
            for (int i = 0; i < kMemberCount; i++)
                EXPECT_EQ(ReadAll(BackupFile(kNames[i])), v1[i]) << kNames[i];
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(FolderNames(dest), names);
    }
}

}  // namespace
