// The CRC-32, the payload scan of PayloadCrc on real files, and OpenPayload's
// three errors and its success.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/platform.h"
#include "common/posix/posix_platform.h"
#include "common/posix/ui_record.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/crc.h"
#include "payload/marker.h"

/* This program's expected payload CRC, and a hook that runs when it is asked
   for (between the check and the second opening of the file). */
static uint32_t expectedCrc;
static std::function<void()> onExpectedCrc;

uint32_t ExpectedPayloadCrc()
{
    if (onExpectedCrc)
        onExpectedCrc();
    return expectedCrc;
}

namespace {

const std::string M = "ARNI";
const std::string End = "ARNIARNI\r\n";

uint32_t Crc(const std::string &s) { return Crc32(s.data(), s.size()); }

class PayloadFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/yelk-crc-XXXXXX";
        const char *tmp = getenv("TMPDIR");
        std::string base = (tmp && *tmp) ? std::string(tmp) + "/yelk-crc-XXXXXX" : pattern;
        std::vector<char> buf(base.begin(), base.end());
        buf.push_back(0);
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
        BuildMarker(session.marker);
        ResetRecordedUi(0, 200);
        expectedCrc = 0;
        onExpectedCrc = nullptr;
    }
    void TearDown() override
    {
        if (session.setupStream)
            fclose(session.setupStream);
        session.setupStream = nullptr;
        session.setupSize = 0;
        session.overallFill = 0;
        onExpectedCrc = nullptr;
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)system(cmd.c_str());
    }
    /* Writes content to a file of the test folder; its Windows path. */
    std::string Write(const std::string &content, const std::string &name = "setup32.exe")
    {
        std::string path = dir_ + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
        return ToWindowsPath(path);
    }
    std::string dir_;
};

TEST(Crc32, CatalogueCheckValue)
{
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
}

TEST(Crc32, KnownValuesWholeAndInAnyPieces)
{
    std::string everyByte;
    for (int i = 0; i < 4 * 256; i++)
        everyByte += (char)(i & 0xFF);
    const struct {
        std::string data;
        uint32_t crc;
    } rows[] = {
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string(32, '\0'), 0x190A55ADu},
        {everyByte, 0xB70B4C26u},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(Crc32(r.data.data(), r.data.size()), r.crc) << r.data.size() << " bytes";
        /* Cut in two anywhere: eight-byte steps and single bytes meet at
           every offset. */
        for (size_t cut = 0; cut <= r.data.size(); cut += 1 + cut / 7) {
            uint32_t reg = CrcUpdate(0xFFFFFFFFu, r.data.data(), cut);
            reg = CrcUpdate(reg, r.data.data() + cut, r.data.size() - cut);
            ASSERT_EQ(~reg, r.crc) << "cut at " << cut;
        }
    }
}

TEST(MarkerMatcher, CarriesAPartialMarkerAcrossBlocksAndReleasesItWhenItBreaks)
{
    /* Each row: the blocks fed one after the other, what comes out in order
       (member bytes as they are, "|" for each whole marker) and the marker
       bytes still held back at the end. */
    const struct {
        std::vector<std::string> blocks;
        const char *events;
        int held;
    } rows[] = {
        {{"AR", "NI"}, "|", 0},
        {{"A", "R", "N", "I"}, "|", 0},
        {{"ARN", "I"}, "|", 0},
        {{"xAR", "Ny"}, "xARNy", 0},
        {{"A", "RNx"}, "ARNx", 0},
        {{"ARN", "x"}, "ARNx", 0},
        {{"ARN", "ARNI"}, "ARNARNI", 0},
        {{"AR", "AR", "NI"}, "ARARNI", 0},
        {{"AR", "NIARN"}, "|", 3},
        {{"xyA"}, "xy", 1},
        {{"A", "", "RNI", "z"}, "|z", 0},
    };
    char text[kMarkerLength + 1];
    BuildMarker(text);
    const uint8_t *marker = reinterpret_cast<const uint8_t *>(text);
    for (const auto &r : rows) {
        std::string trace;
        for (const std::string &b : r.blocks)
            trace += "[" + b + "]";
        SCOPED_TRACE(trace);
        MarkerMatcher m = StartMatcher(marker);
        std::string events;
        for (const std::string &b : r.blocks) {
            const uint8_t *data = reinterpret_cast<const uint8_t *>(b.data());
            for (size_t used = 0; used < b.size();) {
                MarkerRun run = MatchMarker(m, data + used, b.size() - used);
                events.append(text, (size_t)run.released);
                events.append(b, used, run.memberBytes);
                if (run.markerEnded)
                    events += "|";
                ASSERT_GT(run.consumed, 0u);
                used += run.consumed;
            }
        }
        EXPECT_EQ(events, r.events);
        EXPECT_EQ(m.held, r.held);
    }
}

struct ScanCase {
    const char *what;
    std::string file;
    uint32_t expected;
};

std::string Filler(size_t n) { return std::string(n, 'x'); }

TEST_F(PayloadFiles, ScanHashesMemberBytesOnly)
{
    const std::string digits = "123456789";
    std::vector<ScanCase> cases = {
        {"one member", M + digits + End, 0xCBF43926u},
        {"two members: markers are not hashed", M + "1234" + M + "56789" + End, 0xCBF43926u},
        {"bytes before the first marker, a partial marker among them",
         "xx ARN yy " + M + digits + End, 0xCBF43926u},
        {"a partial marker inside a member is hashed", M + "12345ARN6789" + End, Crc("12345ARN6789")},
        {"a marker right after a lone A is missed", M + "1234A" + M + End, Crc("1234AARNI")},
        {"no terminating pair: everything after the first marker", M + "1234" + M + "5678", Crc("12345678")},
        {"a partial marker pending at the end of the file is not hashed", M + "1234AR", Crc("1234")},
        {"a trailing partial marker never completed", M + "1234ARN" + "x" + End, Crc("1234ARNx")},
        {"bytes after the terminating pair do not count", M + digits + "ARNIARNI" + "zz" + M + "junk", 0xCBF43926u},
        {"a payload that begins with the pair", End + M + digits + End, 0u},
        {"no marker at all", "just an ordinary file", 0u},
        {"an empty file", "", 0u},
        {"the byte after a broken match may start a marker", M + "AAARNI" + End, Crc("AA")},
    };
    /* The match count carries over from one 16 KB read block to the next:
       put a marker, the terminating pair and partial markers ("A", "AR",
       "ARN") broken by the next block's first byte across the boundary, at
       every offset around it. */
    const size_t kBoundary = 16384;
    for (size_t at = kBoundary - 5; at <= kBoundary + 2; at++) {
        std::string lead = Filler(at - 4);
        cases.push_back({"member marker across the block boundary", M + lead + M + "tail" + End, Crc(lead + "tail")});
        cases.push_back({"terminating pair across the block boundary", M + lead + End + "more", Crc(lead)});
        for (const char *partial : {"Ay", "ARy", "ARNy"})
            cases.push_back({"broken partial marker across the block boundary", M + lead + partial + End,
                             Crc(lead + partial)});
        cases.push_back({"first marker across the block boundary", Filler(at) + M + "abc" + End, Crc("abc")});
    }
    for (const ScanCase &c : cases) {
        SCOPED_TRACE(c.what);
        SCOPED_TRACE(c.file.size());
        std::string path = Write(c.file);
        ResetRecordedUi(0, 200);
        EXPECT_EQ(PayloadCrc(path.c_str()), c.expected);
        EXPECT_EQ(recordedUi.waitCursorCalls, 1);
        EXPECT_EQ(recordedUi.waitCursorDepth, 0);
    }
}

TEST_F(PayloadFiles, ScanOfMembersThatObeyTheRulesGivesTheCrcOfTheStreamsEndToEnd)
{
    /* Members built from the marker's own letters, kept only when they do not
       contain the marker nor end with a prefix of it. */
    std::mt19937 rng(11);
    const char alphabet[] = "ARNIx";
    for (int round = 0; round < 200; round++) {
        std::string file = Filler(rng() % 1500) + M, joined;
        int members = 1 + rng() % 12;
        for (int m = 0; m < members; m++) {
            std::string member;
            do {
                member.clear();
                size_t len = 1 + (rng() % 4 ? rng() % 40 : rng() % 3000);
                for (size_t i = 0; i < len; i++)
                    member += alphabet[rng() % 5];
            } while (member.find(M) != std::string::npos || member.back() == 'A' ||
                     (member.size() >= 2 && member.compare(member.size() - 2, 2, "AR") == 0) ||
                     (member.size() >= 3 && member.compare(member.size() - 3, 3, "ARN") == 0));
            file += member + (m + 1 < members ? M : "");
            joined += member;
        }
        file += End;
        std::string path = Write(file);
        ASSERT_EQ(PayloadCrc(path.c_str()), Crc(joined)) << "round " << round;
    }
}

TEST_F(PayloadFiles, ScanFailsWithoutTouchingTheCursorWhenTheFileDoesNotOpen)
{
    std::string path = ToWindowsPath(dir_ + "/missing.exe");
    EXPECT_EQ(PayloadCrc(path.c_str()), 0u);
    EXPECT_EQ(recordedUi.waitCursorCalls, 0);
}

TEST_F(PayloadFiles, ScanFailsOnAReadError)
{
    /* A folder opens for reading here, and every read of it fails. */
    std::string path = ToWindowsPath(dir_);
    EXPECT_EQ(PayloadCrc(path.c_str()), 0u);
    EXPECT_EQ(recordedUi.waitCursorCalls, 1);
    EXPECT_EQ(recordedUi.waitCursorDepth, 0);
}

/* Runs command through the shell; its output, and whether it succeeded. */
bool Shell(const std::string &command, std::string *output = nullptr)
{
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return false;
    std::string out;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    if (output)
        *output = out;
    return pclose(p) == 0;
}

/* What the child of ScanFailsOnAReadErrorAfterSomeBytes saw. */
struct ReadErrorSeen {
    int stage;           /* 0 done; else the step that failed (below) */
    long readBefore;     /* bytes read() gave before its error */
    int readErrno;       /* and the error */
    uint32_t crc;        /* PayloadCrc of the file */
    int cursorDepth;
};

TEST_F(PayloadFiles, ScanFailsOnAReadErrorAfterSomeBytes)
{
    /* A regular file whose reading fails part-way with a real I/O error: it
       lies on a small ext2 volume whose block listing the file's blocks past
       its twelfth is damaged, so the first 12 KB read and the next read
       fails (EIO). The scan gets a marker and member bytes first, then the
       error; the CRC of what came before is no answer: 0. */
    if (geteuid() != 0)
        GTEST_SKIP() << "a loop device needs root: a read error on a regular file was not tried";
    std::string member;
    for (int i = 0; i < 40000; i++)
        member += (char)('a' + i * 7 % 26);
    Write(Filler(100) + M + member + End, "source");
    const std::string image = dir_ + "/volume.img", mount = dir_ + "/volume";
    std::string out;
    if (!Shell("truncate -s 1M '" + image + "' && mkfs.ext2 -q -F -b 1024 '" + image + "'", &out))
        GTEST_SKIP() << "no ext2 volume made here (mkfs.ext2): " << out;
    ASSERT_TRUE(Shell("debugfs -w -R 'write \"" + dir_ + "/source\" setup32.exe' '" + image + "'", &out)) << out;
    ASSERT_TRUE(Shell("debugfs -R 'stat setup32.exe' '" + image + "'", &out)) << out;
    size_t at = out.find("(IND):");
    ASSERT_NE(at, std::string::npos) << "the file has no indirect block: " << out;
    long indirect = atol(out.c_str() + at + 6);
    ASSERT_GT(indirect, 0) << out;
    ASSERT_TRUE(Shell("debugfs -w -R 'zap_block -p 255 " + std::to_string(indirect) + "' '" + image + "'", &out))
        << out;
    ASSERT_EQ(mkdir(mount.c_str(), 0755), 0);

    /* The volume is mounted in a mount namespace of a child process of its
       own, so it goes with the child, whatever happens to this test. */
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        ReadErrorSeen seen{};
        seen.stage = 1;
        if (unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
            seen.stage = 2;
            std::string file = mount + "/setup32.exe";
            if (Shell("mount -o loop,ro,errors=continue '" + image + "' '" + mount + "'")) {
                seen.stage = 0;
                int fd = open(file.c_str(), O_RDONLY);
                char buffer[4096];
                ssize_t got;
                while (fd >= 0 && (got = read(fd, buffer, sizeof buffer)) > 0)
                    seen.readBefore += got;
                seen.readErrno = errno;
                if (fd >= 0)
                    close(fd);
                ResetRecordedUi(0, 200);
                seen.crc = PayloadCrc(ToWindowsPath(file).c_str());
                seen.cursorDepth = recordedUi.waitCursorDepth;
                Shell("umount '" + mount + "'");
            }
        }
        (void)!write(channel[1], &seen, sizeof seen);
        _exit(0);
    }
    close(channel[1]);
    ReadErrorSeen seen{};
    ssize_t got = read(channel[0], &seen, sizeof seen);
    close(channel[0]);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(got, (ssize_t)sizeof seen);
    if (seen.stage == 1)
        GTEST_SKIP() << "no mount namespace of its own here: a read error on a regular file was not tried";
    if (seen.stage == 2)
        GTEST_SKIP() << "an ext2 volume on a loop device cannot be mounted here: a read error was not tried";
    /* What the scan meets: the marker and member bytes, then the error. */
    EXPECT_EQ(seen.readBefore, 12288);
    EXPECT_EQ(seen.readErrno, EIO);
    EXPECT_EQ(seen.crc, 0u);
    EXPECT_EQ(seen.cursorDepth, 0);
}

const char kReadText[] = "There seems to be a problem reading the installation file.\n\n"
                         "Please try running the installation program again!";
const char kCorruptText[] = "The installation file seems to be corrupt!\n\n"
                            "Please try running the installation program again or download a new version!";

struct OpenCase {
    const char *what;
    std::string file;         /* contents; empty: no file at all */
    bool vanish;              /* the file goes away once it has been checked */
    int error;                /* 0: success */
    const char *text;
};

TEST_F(PayloadFiles, OpenPayloadReportsWhyItCannotGoOn)
{
    const std::string good = "MZ header and code " + M + "member one" + M + "member two" + End + "resources";
    const OpenCase cases[] = {
        {"the installer file is missing", "", false, 2, kReadText},
        {"the payload is empty: the checksum is 0", "MZ " + End, false, 2, kReadText},
        {"a member byte is damaged", "MZ header and code " + M + "member onE" + M + "member two" + End, false, 10, kCorruptText},
        {"the payload is cut short", "MZ header and code " + M + "member one" + M + "mem", false, 10, kCorruptText},
        {"the file cannot be opened a second time", good, true, 9, kReadText},
    };
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = ToWindowsPath(dir_ + "/setup32.exe");
        unlink((dir_ + "/setup32.exe").c_str());
        if (!c.file.empty())
            Write(c.file);
        SetProgramPath(path);
        expectedCrc = Crc("member onemember two");
        onExpectedCrc = c.vanish ? std::function<void()>([this] { unlink((dir_ + "/setup32.exe").c_str()); })
                                 : nullptr;
        ResetRecordedUi(0, 200);
        EXPECT_EQ(OpenPayload(), 0);
        EXPECT_EQ(recordedUi.errors, std::vector<int>{c.error});
        ASSERT_EQ(recordedUi.errorTexts.size(), 1u);
        EXPECT_EQ(recordedUi.errorTexts[0], c.text);
        EXPECT_EQ(session.setupStream, nullptr);
        EXPECT_TRUE(recordedUi.statusTexts.empty());
        EXPECT_TRUE(recordedUi.scanPaints.empty());
        EXPECT_EQ(recordedUi.waitCursorDepth, 0);
    }
}

TEST_F(PayloadFiles, OpenPayloadOpensTheInstallerAtItsStartAndPaintsTheEmptyBar)
{
    const std::string file = "MZ header and code " + M + "member one" + M + "member two" + End + "resources";
    SetProgramPath(Write(file));
    expectedCrc = Crc("member onemember two");
    session.setupSize = 0;
    EXPECT_EQ(OpenPayload(), 1);
    EXPECT_TRUE(recordedUi.errors.empty());
    ASSERT_NE(session.setupStream, nullptr);
    EXPECT_EQ(ftell(session.setupStream), 0);
    EXPECT_EQ(getc(session.setupStream), 'M');
    EXPECT_EQ(recordedUi.statusTexts, std::vector<std::string>{"Scanning files..."});
    EXPECT_EQ(recordedUi.scanPaints, std::vector<int32_t>{0});
    EXPECT_EQ(session.setupSize, (int32_t)file.size());
    EXPECT_EQ(recordedUi.waitCursorCalls, 1);
    EXPECT_EQ(recordedUi.waitCursorDepth, 0);
}

} // namespace
