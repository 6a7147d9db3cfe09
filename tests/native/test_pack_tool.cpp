// The yelkpack tool: pack's refusals, list and verify on payloads and on
// small PE files built here, extract, and the scan that must see a file
// exactly as the installer's PayloadCrc does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/posix/posix_platform.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/crc.h"
#include "tests/native/test_pack_helpers.h"
#include "payload/crcrecord.h"
#include "tools/payloadscan.h"
#include "payload/marker.h"

using namespace packtest;

uint32_t ExpectedPayloadCrc() { return 0; }

namespace {

struct RunResult {
    int code;
    std::string out, err;
};

std::string Slurp(const std::string &path)
{
    Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/yelk-packtool-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        BuildMarker(session.marker);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)system(cmd.c_str());
    }

    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    /* Runs yelkpack with args, or with tool false a shell command line as it is. */
    RunResult Run(const std::string &args, bool tool = true) const
    {
        std::string cmd = (tool ? std::string(YELKPACK) + " " : std::string()) + args + " >'" + Path("stdout") +
                          "' 2>'" + Path("stderr") + "'";
        int status = system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(Path("stdout")), Slurp(Path("stderr"))};
    }

    /* A copy of the sample client folder to change. */
    std::string CopySamples(const std::string &name) const
    {
        std::string to = Path(name);
        std::string cmd = "cp -r '" YELK_SAMPLES_DIR "' '" + to + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        return to;
    }

    /* Packs the samples; the payload's bytes and its CRC. */
    Bytes PackSamples(uint32_t *crc)
    {
        RunResult p = Run("pack " YELK_SAMPLES_DIR " -o '" + Path("p.bin") + "' --crc-header '" + Path("p.h") + "'");
        EXPECT_EQ(p.code, 0) << p.err;
        std::string h = Slurp(Path("p.h"));
        size_t at = h.find("YELK_PAYLOAD_CRC 0x");
        EXPECT_NE(at, std::string::npos) << h;
        *crc = (uint32_t)strtoul(h.c_str() + at + 19, nullptr, 16);
        at = h.find("YELK_MEMBER_CHECKS \"");
        EXPECT_NE(at, std::string::npos) << h;
        checks_ = h.substr(at + 20, 160);
        return ReadFileBytes(Path("p.bin"));
    }

    /* The member record of the last PackSamples, as the installer carries it. */
    std::string MemberRecord() const { return std::string(kMemberRecordTag, 8) + checks_ + std::string(1, '\0'); }

    std::string checks_;

    std::string dir_;
};

/* ---- pack ---- */

TEST_F(Tool, PackRefusesMissingAndEmptyFilesNamingThem)
{
    enum Fault { kRemove, kEmpty, kHuge };
    struct Case {
        const char *what;
        const char *file;
        Fault fault;
        const char *says;
    };
    const Case cases[] = {
        {"missing program", "yelk32.exe", kRemove, "missing"},
        {"missing settings", "marks.ini", kRemove, "missing"},
        {"empty help file", "primer.hlp", kEmpty, "empty"},
        {"empty settings", "yelk.ini", kEmpty, "empty"},
        {"4 GiB (sparse, refused before reading)", "about.txt", kHuge, "4 GiB"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string folder = CopySamples(std::string("client-") + c.file);
        std::string victim = folder + "/" + c.file;
        if (c.fault == kRemove)
            unlink(victim.c_str());
        else if (c.fault == kEmpty)
            WriteFileBytes(victim, Bytes());
        else
            ASSERT_EQ(truncate(victim.c_str(), 4ll << 30), 0);
        RunResult r = Run("pack '" + folder + "' -o '" + Path("x.bin") + "' --crc-header '" + Path("x.h") + "'");
        EXPECT_EQ(r.code, 65);
        EXPECT_NE(r.err.find(victim), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
        struct stat st;
        EXPECT_NE(stat(Path("x.bin").c_str(), &st), 0) << "nothing written";
    }
}

TEST_F(Tool, PackTakesNamesInAnotherCase)
{
    std::string folder = CopySamples("upper");
    ASSERT_EQ(rename((folder + "/yelk.ini").c_str(), (folder + "/YELK.INI").c_str()), 0);
    RunResult r = Run("pack '" + folder + "' -o '" + Path("u.bin") + "' --crc-header '" + Path("u.h") + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    uint32_t crc;
    Bytes samples = PackSamples(&crc);
    EXPECT_TRUE(ReadFileBytes(Path("u.bin")) == samples) << "same payload as the original names give";
}

TEST_F(Tool, UsageHelpAndVersion)
{
    struct Case {
        const char *args;
        int code;
        bool toStdout;       /* asked for: on stdout, nothing on stderr */
        const char *says;    /* part of what is printed */
    };
    const Case cases[] = {
        {"", 64, false, "[--no-backups] [--no-keep-settings]"},
        {"frobnicate", 64, false, "yelkpack help COMMAND"},
        {"pack", 64, false, "usage: yelkpack pack DIR"},
        {"pack dir -o x.bin", 64, false, "--crc-header"},
        {"list", 64, false, "usage: yelkpack list FILE"},
        {"verify a b", 64, false, "usage: yelkpack verify FILE"},
        {"extract only-one", 64, false, "usage: yelkpack extract FILE DIR"},
        {"extract a b --backups", 64, false, "unknown option '--backups'"},
        {"help frobnicate", 64, false, "no command 'frobnicate'"},
        {"help list verify", 64, false, "usage: yelkpack help"},
        {"--help", 0, true, "[--no-backups] [--no-keep-settings]"},
        {"-h", 0, true, "yelkpack --version"},
        {"help", 0, true, "yelkpack help COMMAND"},
        {"--version", 0, true, "yelkpack 5.9"},
        {"help extract", 0, true, "--no-keep-settings"},
        {"extract --help", 0, true, "--no-backups"},
        {"extract a b -h", 0, true, "usage: yelkpack extract FILE DIR"},
        {"help pack", 0, true, "--greedy"},
        {"pack --help", 0, true, "--crc-header"},
        {"help list", 0, true, "usage: yelkpack list FILE"},
        {"verify --help", 0, true, "usage: yelkpack verify FILE"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        RunResult r = Run(c.args);
        EXPECT_EQ(r.code, c.code);
        const std::string &text = c.toStdout ? r.out : r.err;
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(c.toStdout ? r.err : r.out, "");
    }
}

/* ---- The scan must see what PayloadCrc sees ---- */

TEST_F(Tool, ScanAgreesWithTheInstallersCrc)
{
    const std::string m = MarkerText();
    Bytes big = RandomBytes(3000, 5);
    struct Case {
        const char *what;
        std::string bytes;
        size_t members;
        bool terminated;
    };
    std::string digits = "123456789";
    std::string split = std::string(1021, 'x') + m.substr(0, 2);   /* marker across a block end */
    const Case cases[] = {
        {"check value", m + digits + m + m + "\r\n", 1, true},
        {"partial markers ahead", "xx " + m.substr(0, 3) + " yy " + m + digits + m + m, 1, true},
        {"a lone first letter hides a marker", m + "1234A" + m + "5" + m + m, 1, true},
        {"marker split across blocks", split + m.substr(2) + "abc" + m + "def" + m + m, 2, true},
        {"no terminating pair", m + "abc" + m + "def", 1, false},
        {"starts with the pair", m + m + "abc", 0, true},
        {"no marker at all", "just bytes", 0, false},
        {"partial marker pending at the end", m + "abc" + m.substr(0, 3), 0, false},
        {"random bytes around", std::string(big.begin(), big.end()) + m + "q" + m + m, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = Path("scan.bin");
        WriteFileBytes(file, Bytes(c.bytes.begin(), c.bytes.end()));
        PayloadScan scan;
        ScanPayload(reinterpret_cast<const uint8_t *>(c.bytes.data()), c.bytes.size(), &scan);
        EXPECT_EQ(scan.crc, PayloadCrc(ToWindowsPath(file).c_str()));
        EXPECT_EQ(scan.members.size(), c.members);
        EXPECT_EQ(scan.terminated, c.terminated);
    }
    /* The catalogue check value through the scan alone. */
    std::string check = m + digits + m + m;
    PayloadScan scan;
    ScanPayload(reinterpret_cast<const uint8_t *>(check.data()), check.size(), &scan);
    EXPECT_EQ(scan.crc, 0xCBF43926u);
}

/* ---- The record that carries the CRC ---- */

TEST_F(Tool, PackMovesACrcTheRecordCannotCarry)
{
    /* Vary the last file until the payload's CRC would be one the record
       cannot carry (about one in 256: last byte the marker's first letter). */
    std::vector<Bytes> streams;
    for (int k = 0; k < 9; k++) {
        Bytes data = ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + kMemberNames[k]);
        streams.push_back(LzhEncode(data.data(), data.size()));
    }
    Bytes marks = ReadFileBytes(YELK_SAMPLES_DIR "/marks.ini");
    Bytes chosen;
    for (int k = 0; k < 5000 && chosen.empty(); k++) {
        std::string line = "; " + std::to_string(k) + "\r\n";
        Bytes data(line.begin(), line.end());
        data.insert(data.end(), marks.begin(), marks.end());
        std::vector<Bytes> all = streams;
        all.push_back(LzhEncode(data.data(), data.size()));
        Bytes joined;
        for (const Bytes &s : all)
            joined.insert(joined.end(), s.begin(), s.end());
        if (CrcUnfit(Crc32(joined.data(), joined.size())))
            chosen = data;
    }
    ASSERT_FALSE(chosen.empty());
    std::string folder = CopySamples("unfit");
    WriteFileBytes(folder + "/marks.ini", chosen);
    RunResult r = Run("pack '" + folder + "' -o '" + Path("u.bin") + "' --crc-header '" + Path("u.h") + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string h = Slurp(Path("u.h"));
    uint32_t crc = (uint32_t)strtoul(h.c_str() + h.find("YELK_PAYLOAD_CRC 0x") + 19, nullptr, 16);
    EXPECT_FALSE(CrcUnfit(crc));
    char hex[16];
    snprintf(hex, sizeof hex, "%08X", (unsigned)crc);
    ASSERT_EQ(Run("extract '" + Path("u.bin") + "' '" + Path("out") + "' --crc " + hex).code, 0);
    EXPECT_TRUE(ReadFileBytes(Path("out/marks.ini")) == chosen);
}

TEST(CrcRecord, UnfitValuesAreThoseTheInstallerOrTheMatcherWouldMisread)
{
    struct Case {
        uint32_t crc;
        bool unfit;
        const char *why;
    };
    const Case cases[] = {
        {0, true, "0 reads as a failed read"},
        {0x494E5241u, true, "little-endian bytes spell the marker"},
        {0x41000000u, true, "last byte is the marker's first letter"},
        {0x52410000u, true, "ends with its first two letters"},
        {0x4E524100u, true, "ends with its first three letters"},
        {0x41414141u, true, "ends with the first letter"},
        {0x00000041u, false, "a first letter followed by other bytes"},
        {0x31F2B777u, false, "an ordinary value"},
        {0xFFFFFFFFu, false, "all ones"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CrcUnfit(c.crc) != 0, c.unfit) << c.why;
}

/* ---- A small PE file with RCDATA 4 ---- */

struct PeParts {
    std::string rdata;     /* bytes of the first section (code and data stand-in) */
    std::string lead;      /* bytes in the resource section just before the payload */
    Bytes payload;         /* RCDATA 4 */
    uint32_t gap = 0;      /* bytes left unwritten (a hole) between the two sections */
};

void Put16(Bytes *b, size_t at, uint32_t v)
{
    (*b)[at] = (uint8_t)v;
    (*b)[at + 1] = (uint8_t)(v >> 8);
}
void Put32(Bytes *b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

/* The headers with .rdata, and the .rsrc section that starts at rsrcAt. */
struct PeImage {
    Bytes head;
    uint64_t rsrcAt;
    Bytes rsrc;
};

PeImage BuildPeImage(const PeParts &p)
{
    const uint32_t kRdataRva = 0x1000, kRdataRaw = 0x200;
    uint32_t rdataSize = ((uint32_t)p.rdata.size() + 0x1FF) & ~0x1FFu;
    if (rdataSize == 0)
        rdataSize = 0x200;
    const uint32_t gap = (p.gap + 0x1FF) & ~0x1FFu;
    const uint32_t rsrcRva = (kRdataRva + rdataSize + gap + 0xFFF) & ~0xFFFu;
    const uint32_t rsrcRaw = kRdataRaw + rdataSize + gap;
    const uint32_t dataOffset = 0x58 + (uint32_t)p.lead.size();
    Bytes rsrc(dataOffset + p.payload.size(), 0);
    /* root: one id entry, type 10 */
    Put16(&rsrc, 14, 1);
    Put32(&rsrc, 16, 10);
    Put32(&rsrc, 20, 0x80000000u | 0x18);
    /* type 10: one id entry, id 4 */
    Put16(&rsrc, 0x18 + 14, 1);
    Put32(&rsrc, 0x18 + 16, 4);
    Put32(&rsrc, 0x18 + 20, 0x80000000u | 0x30);
    /* id 4: one language, neutral */
    Put16(&rsrc, 0x30 + 14, 1);
    Put32(&rsrc, 0x30 + 16, 0);
    Put32(&rsrc, 0x30 + 20, 0x48);
    /* data entry */
    Put32(&rsrc, 0x48, rsrcRva + dataOffset);
    Put32(&rsrc, 0x4C, (uint32_t)p.payload.size());
    memcpy(&rsrc[0x58], p.lead.data(), p.lead.size());
    memcpy(&rsrc[dataOffset], p.payload.data(), p.payload.size());
    uint32_t rsrcSize = ((uint32_t)rsrc.size() + 0x1FF) & ~0x1FFu;
    rsrc.resize(rsrcSize, 0);

    Bytes f(kRdataRaw, 0);
    f[0] = 'M';
    f[1] = 'Z';
    Put32(&f, 0x3C, 0x40);
    memcpy(&f[0x40], "PE\0\0", 4);
    Put16(&f, 0x44, 0x14C);        /* i386 */
    Put16(&f, 0x46, 2);            /* sections */
    Put16(&f, 0x54, 224);          /* optional header size */
    Put16(&f, 0x56, 0x0102);
    size_t opt = 0x58;
    Put16(&f, opt, 0x10B);
    Put32(&f, opt + 28, 0x400000);                              /* image base */
    Put32(&f, opt + 32, 0x1000);                                /* section alignment */
    Put32(&f, opt + 36, 0x200);                                 /* file alignment */
    Put16(&f, opt + 40, 4);                                     /* OS version */
    Put16(&f, opt + 48, 4);                                     /* subsystem version */
    Put32(&f, opt + 56, (rsrcRva + rsrcSize + 0xFFF) & ~0xFFFu); /* image size */
    Put32(&f, opt + 60, kRdataRaw);                             /* header size */
    Put16(&f, opt + 68, 2);                                     /* GUI subsystem */
    Put32(&f, opt + 92, 16);       /* data directories */
    Put32(&f, opt + 96 + 16, rsrcRva);
    Put32(&f, opt + 96 + 20, 0x58);
    size_t sec = opt + 224;
    memcpy(&f[sec], ".rdata", 6);
    Put32(&f, sec + 8, rdataSize);
    Put32(&f, sec + 12, kRdataRva);
    Put32(&f, sec + 16, rdataSize);
    Put32(&f, sec + 20, kRdataRaw);
    Put32(&f, sec + 36, 0x40000040u);   /* initialised data, readable */
    memcpy(&f[sec + 40], ".rsrc", 5);
    Put32(&f, sec + 48, rsrcSize);
    Put32(&f, sec + 52, rsrcRva);
    Put32(&f, sec + 56, rsrcSize);
    Put32(&f, sec + 60, rsrcRaw);
    Put32(&f, sec + 76, 0x40000040u);
    Bytes rd(rdataSize, 0);
    memcpy(rd.data(), p.rdata.data(), p.rdata.size());
    f.insert(f.end(), rd.begin(), rd.end());
    return {f, rsrcRaw, rsrc};
}

Bytes BuildPe(const PeParts &p)
{
    PeImage image = BuildPeImage(p);
    Bytes f = image.head;
    f.resize(image.rsrcAt, 0);
    f.insert(f.end(), image.rsrc.begin(), image.rsrc.end());
    return f;
}

/* BuildPe's file written with its gap left as a hole, so a large file costs
   neither memory nor disk here. */
void WriteSparsePe(const std::string &path, const PeParts &p)
{
    PeImage image = BuildPeImage(p);
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(fwrite(image.head.data(), 1, image.head.size(), f), image.head.size());
    ASSERT_EQ(fseeko(f, (off_t)image.rsrcAt, SEEK_SET), 0);
    ASSERT_EQ(fwrite(image.rsrc.data(), 1, image.rsrc.size(), f), image.rsrc.size());
    ASSERT_EQ(fclose(f), 0);
}

std::string Record(uint32_t crc)
{
    std::string r(kCrcRecordTag, 8);
    for (int k = 0; k < 4; k++)
        r += (char)(crc >> (8 * k));
    return r;
}

TEST_F(Tool, VerifyAcceptsOnlyWhatTheInstallerWouldAccept)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    ASSERT_FALSE(payload.empty());
    const std::string m = MarkerText();
    const std::string members = MemberRecord();
    std::string code = "code and data of the installer " + Record(crc) + " more " + members;
    std::string badMember = members;
    badMember[8 + 16 * 3 + 15] ^= 1;   /* about.txt's CRC, its last hex digit */
    Bytes nineMembers = payload;
    {
        /* Drop the last member: cut from its marker to the terminating pair. */
        PayloadScan scan;
        ScanPayload(payload.data(), payload.size(), &scan);
        ASSERT_EQ(scan.members.size(), 10u);
        size_t from = (size_t)scan.members[9].offset - 4;
        nineMembers.erase(nineMembers.begin() + (long)from, nineMembers.begin() + (long)(scan.end - 8));
    }
    struct Case {
        const char *what;
        PeParts parts;
        bool ok;
        const char *says;   /* part of the one line on failure */
    };
    const Case cases[] = {
        {"a good installer", {code, "", payload}, true, ""},
        {"bytes before the payload that are not a marker", {code, "xyz", payload}, true, ""},
        {"the marker in the code", {code + " " + m + " ", "", payload}, false, "ahead of the payload"},
        {"a licence line reading WARNING", {code + "\r\nWARNING\r\n", "", payload}, false,
         "ahead of the payload"},
        {"a first letter just ahead hides the payload's marker", {code, "A", payload}, false,
         "first marker found"},
        {"two letters just ahead", {code, m.substr(0, 2), payload}, false, "first marker found"},
        {"a CRC record that does not match", {"code " + Record(crc ^ 1) + members, "", payload}, false,
         "differs from the compiled-in"},
        {"no CRC record", {"code without the record" + members, "", payload}, false, "no compiled-in CRC"},
        {"no member record", {"code " + Record(crc), "", payload}, false, "no compiled-in member record"},
        {"a member that does not decode to its record", {"code " + Record(crc) + badMember, "", payload}, false,
         "member 3 (about.txt) decodes to"},
        {"nine members", {code, "", nineMembers}, false, "9 members"},
        {"a PE checksum that is set and wrong", {code, "", payload}, false, "PE checksum 0x00012345"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pe = BuildPe(c.parts);
        if (&c == &cases[std::size(cases) - 1])
            Put32(&pe, 0x58 + 64, 0x12345);
        WriteFileBytes(Path("setup32.exe"), pe);
        RunResult r = Run("verify '" + Path("setup32.exe") + "'");
        EXPECT_EQ(r.code, c.ok ? 0 : 65) << r.err;
        if (!c.ok) {
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    /* A bare payload is no installer. */
    EXPECT_EQ(Run("verify '" + Path("p.bin") + "'").code, 65);
}

TEST_F(Tool, ListShowsMembersAndTheCompiledInValue)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08X", (unsigned)crc);

    RunResult bare = Run("list '" + Path("p.bin") + "'");
    ASSERT_EQ(bare.code, 0) << bare.err;
    EXPECT_NE(bare.out.find("bare payload"), std::string::npos);
    EXPECT_NE(bare.out.find(std::string("CRC ") + hex), std::string::npos) << bare.out;
    for (const char *name : kMemberNames)
        EXPECT_NE(bare.out.find(name), std::string::npos) << name;
    EXPECT_NE(bare.out.find("16896"), std::string::npos) << "decoded size of yelk32.exe\n" << bare.out;

    WriteFileBytes(Path("setup32.exe"), BuildPe({"data " + Record(crc), "", payload}));
    RunResult exe = Run("list '" + Path("setup32.exe") + "'");
    ASSERT_EQ(exe.code, 0) << exe.err;
    EXPECT_NE(exe.out.find(std::string("compiled in ") + hex + ": equal"), std::string::npos) << exe.out;

    WriteFileBytes(Path("setup32.exe"), BuildPe({"data " + Record(crc + 1), "", payload}));
    EXPECT_NE(Run("list '" + Path("setup32.exe") + "'").out.find("DIFFERENT"), std::string::npos);
}

TEST_F(Tool, ExtractGivesBackTheFilesAndChecksTheCrcFirst)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    char hex[16];
    snprintf(hex, sizeof hex, "%08X", (unsigned)crc);

    RunResult r = Run("extract '" + Path("p.bin") + "' '" + Path("out") + "' --crc " + hex);
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char *name : kMemberNames)
        EXPECT_TRUE(ReadFileBytes(Path("out/") + name) == ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + name))
            << name;

    /* An installer carries its own value. */
    WriteFileBytes(Path("setup32.exe"), BuildPe({"data " + Record(crc), "", payload}));
    EXPECT_EQ(Run("extract '" + Path("setup32.exe") + "' '" + Path("out2") + "'").code, 0);

    EXPECT_EQ(Run("extract '" + Path("p.bin") + "' '" + Path("out3") + "'").code, 64) << "bare payload needs --crc";
    RunResult wrong = Run("extract '" + Path("p.bin") + "' '" + Path("out4") + "' --crc 1234");
    EXPECT_EQ(wrong.code, 10);
    EXPECT_NE(wrong.err.find("[10]"), std::string::npos);
    Bytes damaged = payload;
    damaged[damaged.size() / 2] ^= 0x40;
    WriteFileBytes(Path("bad.bin"), damaged);
    EXPECT_EQ(Run("extract '" + Path("bad.bin") + "' '" + Path("out5") + "' --crc " + hex).code, 10);
    EXPECT_EQ(Run("extract '" + Path("missing.bin") + "' '" + Path("out6") + "' --crc " + hex).code, 2)
        << "a file that cannot be read is the installer's error [2]";
}

/* ---- Files cut short ---- */

TEST_F(Tool, AFileCutShortIsDamagedNotAUsageError)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    Bytes exe = BuildPe({"data " + Record(crc), "", payload});
    PayloadScan inExe, bare;
    ScanPayload(exe.data(), exe.size(), &inExe);
    ScanPayload(payload.data(), payload.size(), &bare);
    ASSERT_TRUE(inExe.terminated);
    ASSERT_LT(inExe.end + 2, exe.size()) << "the resource section needs padding after the payload";
    const size_t inPayload = (size_t)inExe.members[4].offset + 10;
    const size_t inMember3 = (size_t)bare.members[3].offset + 10;
    std::string flippedRecord = Record(crc);
    flippedRecord[3] ^= 0x08;   /* "YELK" becomes "YELC" */
    auto cut = [](const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + (long)n); };
    auto at = [](const char *head, size_t n, const char *tail) {
        return std::string(head) + std::to_string(n) + tail;
    };

    struct Case {
        const char *what;
        Bytes bytes;
        int extractCode;          /* yelkpack extract FILE DIR, no --crc */
        std::string extractSays;
        std::string verifySays;   /* verify always refuses these (65) */
    };
    const Case cases[] = {
        {"cut in the headers", cut(exe, 0x100), 65,
         "not a complete installer: it breaks off at byte 256, inside its headers",
         "it breaks off at byte 256, inside its headers"},
        {"cut in the code, ahead of the CRC record", cut(exe, 0x202), 65,
         "not a complete installer: it breaks off at byte 514, inside section .rdata (bytes 512 to 1023)",
         "it breaks off at byte 514, inside section .rdata"},
        {"cut in the payload", cut(exe, inPayload), 65,
         at("not a complete installer: it breaks off at byte ", inPayload, ", inside section .rsrc"),
         at("it breaks off at byte ", inPayload, ", inside section .rsrc")},
        /* The payload is whole, but the file is not what its headers say:
           extract and verify both refuse it. */
        {"cut after the payload's end", cut(exe, inExe.end + 2), 65,
         at("not a complete installer: it breaks off at byte ", inExe.end + 2, ", inside section .rsrc"),
         at("it breaks off at byte ", inExe.end + 2, ", inside section .rsrc")},
        {"a bare payload cut in member 3", cut(payload, inMember3), 65,
         at("not a complete payload: it breaks off at byte ", inMember3, ", inside member 3 (about.txt)"),
         "not an executable"},
        {"a whole bare payload", payload, 64, "a bare payload carries no CRC; give --crc HEX", "not an executable"},
        /* An executable always carries the record: without it, it is damaged. */
        {"a whole executable without the record", BuildPe({"data", "", payload}), 65,
         "no compiled-in CRC record: the installer is damaged", "no compiled-in CRC record"},
        {"a flipped byte in the record's tag", BuildPe({"data " + flippedRecord, "", payload}), 65,
         "no compiled-in CRC record: the installer is damaged", "no compiled-in CRC record"},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = Path("cut" + std::to_string(run) + ".exe");
        std::string out = Path("out" + std::to_string(run++));
        WriteFileBytes(file, c.bytes);

        RunResult x = Run("extract '" + file + "' '" + out + "'");
        EXPECT_EQ(x.code, c.extractCode) << x.err;
        EXPECT_NE(x.err.find(c.extractSays), std::string::npos) << x.err;
        EXPECT_LE(std::count(x.err.begin(), x.err.end(), '\n'), 1) << x.err;
        struct stat st;
        if (c.extractCode >= 64) {
            EXPECT_NE(stat(out.c_str(), &st), 0) << "refused before anything was made";
        }

        RunResult v = Run("verify '" + file + "'");
        EXPECT_EQ(v.code, 65);
        EXPECT_NE(v.err.find(c.verifySays), std::string::npos) << v.err;
    }
}

/* An address-space limit cannot apply under AddressSanitizer, which reserves
   terabytes of it: the tests that read with such a limit skip there. */
#if defined(__SANITIZE_ADDRESS__)
#define YELK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define YELK_UNDER_ASAN 1
#endif
#endif
#ifdef YELK_UNDER_ASAN
#define SKIP_WITHOUT_ADDRESS_LIMIT() \
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space; an address-space limit cannot apply"
#else
#define SKIP_WITHOUT_ADDRESS_LIMIT() (void)0
#endif

/* ---- Large files ---- */

TEST_F(Tool, ListAndVerifyReadALargeFileInBlocks)
{
    SKIP_WITHOUT_ADDRESS_LIMIT();
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    /* 160 MB of code and data ahead of the payload, held in a hole. The tool
       may use 64 MB of address space: a fraction of the file, many times what
       reading it in blocks needs. */
    WriteSparsePe(Path("big.exe"), {"data " + Record(crc) + MemberRecord(), "", payload, 160u << 20});
    const std::string limit = "ulimit -v 65536; ";
    RunResult v = Run(limit + "'" YELKPACK "' verify '" + Path("big.exe") + "'", false);
    EXPECT_EQ(v.code, 0) << v.err;
    EXPECT_NE(v.out.find("ok, payload at 0xA000458"), std::string::npos) << v.out;
    RunResult l = Run(limit + "'" YELKPACK "' list '" + Path("big.exe") + "'", false);
    EXPECT_EQ(l.code, 0) << l.err;
    EXPECT_NE(l.out.find("compiled in"), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("16896  yelk32.exe"), std::string::npos) << l.out;
}

/* ---- Signed installers ---- */

TEST_F(Tool, ASignedInstallerIsReportedAndStillChecked)
{
    for (const char *tool : {"osslsigncode", "openssl"})
        if (system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << tool << " is not installed (scripts/deps.sh installs it): signed installers were not tried";
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    Bytes plain = BuildPe({"data " + Record(crc) + MemberRecord(), "", payload});
    WriteFileBytes(Path("plain.exe"), plain);
    /* A throwaway signer made here; the key never leaves the test's folder. */
    std::string make = "cd '" + dir_ + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem "
                       "-out cert.pem -days 2 -subj '/CN=Yelk test signer' "
                       "-addext extendedKeyUsage=codeSigning >openssl.log 2>&1 && "
                       "osslsigncode sign -certs cert.pem -key key.pem -h sha256 -in plain.exe -out signed.exe "
                       ">sign.log 2>&1";
    ASSERT_EQ(system(make.c_str()), 0) << Slurp(Path("openssl.log")) << Slurp(Path("sign.log"));
    Bytes signedExe = ReadFileBytes(Path("signed.exe"));
    /* The signer appends its table at the end of the file: plain.exe's size
       is a multiple of 8, so the table starts right there. */
    ASSERT_GT(signedExe.size(), plain.size());
    char table[128];
    snprintf(table, sizeof table, "signed: certificate table at 0x%zX, %zu bytes", plain.size(),
             signedExe.size() - plain.size());

    Bytes changed = signedExe;
    changed[0x458 + 2000] ^= 0x01;   /* a byte of member 0 */
    Bytes cutInTable(signedExe.begin(), signedExe.end() - 100);
    struct Case {
        const char *what;
        Bytes bytes;
        int verifyCode;
        std::string says;   /* in list's output and in verify's line */
    };
    const Case cases[] = {
        {"unsigned", plain, 0, "not signed"},
        {"signed", signedExe, 0, table},
        {"signed, one payload byte changed", changed, 65, table},
        {"signed, cut in the certificate table", cutInTable, 65, table},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = Path("s" + std::to_string(run++) + ".exe");
        WriteFileBytes(file, c.bytes);
        RunResult v = Run("verify '" + file + "'");
        EXPECT_EQ(v.code, c.verifyCode) << v.err;
        RunResult l = Run("list '" + file + "'");
        EXPECT_EQ(l.code, 0) << l.err;
        EXPECT_NE(l.out.find(c.says), std::string::npos) << l.out;
        EXPECT_NE(l.out.find("10 members, terminating pair found"), std::string::npos) << l.out;
        if (c.verifyCode == 0) {
            EXPECT_NE(v.out.find(c.says), std::string::npos) << v.out;
        }
    }
    EXPECT_NE(Run("verify '" + Path("s2.exe") + "'").err.find("differs from the compiled-in"), std::string::npos);
    EXPECT_NE(Run("verify '" + Path("s3.exe") + "'").err.find("inside the certificate table"), std::string::npos);

    /* The headless installer reads the signed file as the installer does. */
    ASSERT_EQ(Run("extract '" + Path("s1.exe") + "' '" + Path("out") + "'").code, 0);
    for (const char *name : kMemberNames)
        EXPECT_TRUE(ReadFileBytes(Path("out/") + name) == ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + name))
            << name;
}

/* ---- pack's progress and summary ---- */

/* Runs yelkpack with stderr on a new terminal and stdout into a file; what
   the terminal showed. */
RunResult RunOnTerminal(const std::string &args, const std::string &stdoutFile)
{
    int master;
    fflush(nullptr);
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::string cmd = std::string("'") + YELKPACK + "' " + args + " >'" + stdoutFile + "'";
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr);
        _exit(127);
    }
    RunResult r{-1, "", ""};
    if (child < 0)
        return r;
    char buf[4096];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0)
        r.err.append(buf, (size_t)n);
    close(master);
    int status;
    waitpid(child, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(stdoutFile);
    return r;
}

TEST_F(Tool, PackShowsProgressOnATerminalAndSumsUpEachMember)
{
    const std::string args = "pack " YELK_SAMPLES_DIR " -o '" + Path("p.bin") + "' --crc-header '" + Path("p.h") + "'";
    RunResult quiet = Run(args);
    ASSERT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "") << "no progress into a file";

    RunResult shown = RunOnTerminal(args, Path("terminal.out"));
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.out, quiet.out) << "the same summary either way";
    for (int k = 0; k < 10; k++) {
        std::string step = std::to_string(k + 1) + "/10 " + kMemberNames[k];
        EXPECT_NE(shown.err.find(step), std::string::npos) << step << "\n" << shown.err;
    }

    /* Each member's line against the file's size and what list finds. */
    RunResult listed = Run("list '" + Path("p.bin") + "'");
    ASSERT_EQ(listed.code, 0);
    uint64_t sizes = 0, packed = 0;
    for (int k = 0; k < 10; k++) {
        SCOPED_TRACE(kMemberNames[k]);
        size_t at = quiet.out.find(std::string(kMemberNames[k]) + " ");
        ASSERT_NE(at, std::string::npos) << quiet.out;
        unsigned long long size = 0, coded = 0;
        double ratio = 0;
        ASSERT_EQ(sscanf(quiet.out.c_str() + at + strlen(kMemberNames[k]), "%llu %llu %lf%%", &size, &coded, &ratio),
                  3)
            << quiet.out;
        EXPECT_EQ(size, ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + kMemberNames[k]).size());
        char row[64];
        snprintf(row, sizeof row, "%llu %10u  %s", coded, (unsigned)size, kMemberNames[k]);
        EXPECT_NE(listed.out.find(row), std::string::npos) << row << "\n" << listed.out;
        EXPECT_NEAR(ratio, 100.0 * (double)coded / (double)size, 0.05);
        sizes += size;
        packed += coded;
    }
    char total[64];
    snprintf(total, sizeof total, "total %llu %llu", (unsigned long long)sizes, (unsigned long long)packed);
    std::string squeezed;
    for (char ch : quiet.out)
        if (ch != ' ' || (squeezed.size() && squeezed.back() != ' '))
            squeezed += ch;
    EXPECT_NE(squeezed.find(total), std::string::npos) << quiet.out;
}

}  // namespace

namespace {

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

/* ---- The compiled-in record across a block seam ---- */

TEST_F(Tool, TheRecordIsFoundAcrossEveryBlockSeam)
{
    // list and verify read 64 KiB blocks from the start; extract reads 64 KiB
    // and the record's length first. A record that starts up to 11 bytes
    // before either seam lies across it.
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    const size_t kSectionStart = 0x200;   /* file offset of BuildPe's first section */
    std::vector<size_t> starts;
    for (size_t seam : {size_t(65536), size_t(65536 + 12)})
        for (size_t back = 1; back <= 11; back++)
            starts.push_back(seam - back);
    for (size_t start : starts) {
        SCOPED_TRACE("record at byte " + std::to_string(start));
        std::string code(start - kSectionStart, '.');
        code += Record(crc) + MemberRecord();
        WriteFileBytes(Path("seam.exe"), BuildPe({code, "", payload}));
        RunResult v = Run("verify '" + Path("seam.exe") + "'");
        EXPECT_EQ(v.code, 0) << v.err;
        RunResult l = Run("list '" + Path("seam.exe") + "'");
        EXPECT_NE(l.out.find(": equal"), std::string::npos) << l.out;
        std::string out = Path("out" + std::to_string(start));
        RunResult x = Run("extract '" + Path("seam.exe") + "' '" + out + "'");
        EXPECT_EQ(x.code, 0) << x.err;
    }
}

TEST_F(Tool, TheCrcOptionTakesEveryThirtyTwoBitValueAndNoMore)
{
    uint32_t crc;
    PackSamples(&crc);
    struct Case {
        const char *value;
        int code;   /* 10: taken, and the payload's CRC differs; 64: refused */
    } cases[] = {
        {"FFFFFFFF", 10}, {"ffffffff", 10}, {"0", 10}, {"100000000", 64}, {"-1", 64}, {"", 64}, {"12G", 64},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        RunResult r = Run("extract '" + Path("p.bin") + "' '" + Path("o" + std::to_string(run++)) + "' --crc '" +
                          c.value + "'");
        EXPECT_EQ(r.code, c.code) << r.err;
    }
}

/* ---- Damage is called damage ---- */

TEST_F(Tool, DamagedHeadersAreDamageNotAShortFile)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    const Bytes good = BuildPe({"data " + Record(crc) + MemberRecord(), "", payload});
    struct Case {
        const char *what;
        size_t at;       /* little-endian field in BuildPe's headers */
        int width;
        uint32_t value;
    } cases[] = {
        {"section count 130", 0x46, 2, 130},
        {"section count 0", 0x46, 2, 0},
        {"optional header size 480", 0x54, 2, 480},
        {"optional header size 192", 0x54, 2, 192},
        {"header size past the first section", 0x58 + 60, 4, 0x8200},
        {"header size shorter than the section table", 0x58 + 60, 4, 0x100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = good;
        if (c.width == 2)
            Put16(&bytes, c.at, c.value);
        else
            Put32(&bytes, c.at, c.value);
        WriteFileBytes(Path("d.exe"), bytes);
        for (const char *command : {"verify", "extract"}) {
            SCOPED_TRACE(command);
            std::string args = std::string(command) + " '" + Path("d.exe") + "'";
            if (strcmp(command, "extract") == 0)
                args += " '" + Path("dout") + "'";
            RunResult r = Run(args);
            EXPECT_EQ(r.code, 65) << r.err;
            EXPECT_NE(r.err.find("damaged PE headers"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("breaks off"), std::string::npos) << r.err;
        }
        EXPECT_NE(Run("list '" + Path("d.exe") + "'").out.find("damaged PE headers"), std::string::npos);
    }
}

TEST_F(Tool, BytesFromTheFileReachTheTerminalEscaped)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    Bytes bytes = BuildPe({"data " + Record(crc), "", payload});
    const char name[8] = {'.', '\x1b', '[', '2', 'J', '\\', '\x07', '\x9b'};
    memcpy(&bytes[0x58 + 224 + 40], name, 8);   /* the second section's name */
    bytes.resize(bytes.size() - 100);           /* so that the message names it */
    WriteFileBytes(Path("esc.exe"), bytes);
    for (const char *command : {"verify", "list", "extract"}) {
        SCOPED_TRACE(command);
        RunResult r = Run(std::string(command) + " '" + Path("esc.exe") + "'" +
                          (strcmp(command, "extract") == 0 ? " '" + Path("eout") + "'" : std::string()));
        std::string all = r.out + r.err;
        EXPECT_NE(all.find("section .\\x1B[2J\\x5C\\x07\\x9B"), std::string::npos) << all;
        for (char ch : all)
            EXPECT_TRUE((ch >= 0x20 && ch < 0x7F) || ch == '\n') << "raw byte " << (int)(unsigned char)ch;
    }
}

TEST_F(Tool, VerifyRefusesWhatTheLoaderOrTheInstallerCannotTake)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    const Bytes good = BuildPe({"data " + Record(crc) + MemberRecord(), "", payload});
    PayloadScan scan;
    ScanPayload(good.data(), good.size(), &scan);
    ASSERT_LE(scan.end + 16, good.size()) << "room after the payload for a table inside the section";

    // A certificate table inside the resource section, after the payload.
    Bytes overlapping = good;
    Put32(&overlapping, 0x58 + 96 + 32, (uint32_t)good.size() - 16);
    Put32(&overlapping, 0x58 + 96 + 36, 16);
    WriteFileBytes(Path("cert.exe"), overlapping);
    RunResult c = Run("verify '" + Path("cert.exe") + "'");
    EXPECT_EQ(c.code, 65) << c.out;
    EXPECT_NE(c.err.find("overlaps section .rsrc"), std::string::npos) << c.err;

    // Past the 2 GiB that pack allows for a whole installer (a hole after
    // the last section, so the disk holds none of it).
    WriteFileBytes(Path("huge.exe"), good);
    ASSERT_EQ(truncate(Path("huge.exe").c_str(), (off_t)(2ull << 30)), 0);
    RunResult h = Run("verify '" + Path("huge.exe") + "'");
    EXPECT_EQ(h.code, 65) << h.out;
    EXPECT_NE(h.err.find("below 2 GiB"), std::string::npos) << h.err;
    ASSERT_EQ(truncate(Path("huge.exe").c_str(), (off_t)(2ull << 30) - 1), 0);
    EXPECT_EQ(Run("verify '" + Path("huge.exe") + "'").code, 0) << "one byte less is an installer";
}

/* ---- Memory that does not grow with the input ---- */

TEST_F(Tool, AnEleventhMemberIsDamageAndMarkersCostNoMemory)
{
    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    PayloadScan scan;
    ScanPayload(payload.data(), payload.size(), &scan);
    // One more member before the terminating pair.
    Bytes eleven(payload.begin(), payload.begin() + (long)scan.end - 4);
    const std::string m = MarkerText();
    eleven.insert(eleven.end(), {'x', 'y', 'z'});
    eleven.insert(eleven.end(), m.begin(), m.end());
    eleven.insert(eleven.end(), m.begin(), m.end());
    WriteFileBytes(Path("setup32.exe"), BuildPe({"data " + Record(crc), "", eleven}));
    RunResult v = Run("verify '" + Path("setup32.exe") + "'");
    EXPECT_EQ(v.code, 65);
    EXPECT_NE(v.err.find("more than 10 members"), std::string::npos) << v.err;

    SKIP_WITHOUT_ADDRESS_LIMIT();
    // 40 MB of markers one byte apart, read with 64 MB of address space.
    Bytes dense;
    dense.reserve(40u << 20);
    std::string unit = m + "x";
    while (dense.size() < (40u << 20))
        dense.insert(dense.end(), unit.begin(), unit.end());
    WriteFileBytes(Path("dense.bin"), dense);
    const std::string limit = "ulimit -v 65536; ";
    RunResult l = Run(limit + "'" YELKPACK "' list '" + Path("dense.bin") + "'", false);
    EXPECT_EQ(l.code, 0) << l.err;
    EXPECT_NE(l.out.find("more than 10 members"), std::string::npos) << l.out.substr(0, 2000);
    RunResult d = Run(limit + "'" YELKPACK "' verify '" + Path("dense.bin") + "'", false);
    EXPECT_EQ(d.code, 65) << d.err;
}

/* ---- pack's outputs ---- */

TEST_F(Tool, PackRefusesAnOutputThatIsTheOtherOrAnInput)
{
    std::string folder = CopySamples("client");
    Bytes ini = ReadFileBytes(folder + "/yelk.ini");
    ASSERT_EQ(symlink((folder + "/yelk.ini").c_str(), Path("ini-link").c_str()), 0);
    ASSERT_EQ(link((folder + "/hosts.ini").c_str(), Path("hosts-hard").c_str()), 0);
    mkdir(Path("sub").c_str(), 0755);
    struct Case {
        const char *what;
        std::string output, header;
    } cases[] = {
        {"the same name twice", Path("x.bin"), Path("x.bin")},
        {"the same file by two names", Path("x.bin"), Path("sub/../x.bin")},
        {"the payload over a client file", folder + "/yelk.ini", Path("x.h")},
        {"the header over a client file by a link", Path("x.bin"), Path("ini-link")},
        {"the payload over a client file by a hard link", Path("hosts-hard"), Path("x.h")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RunResult r = Run("pack '" + folder + "' -o '" + c.output + "' --crc-header '" + c.header + "'");
        EXPECT_EQ(r.code, 64) << r.err;
        EXPECT_FALSE(Exists(Path("x.bin")));
        EXPECT_FALSE(Exists(Path("x.h")));
    }
    for (const char *name : kMemberNames)
        EXPECT_TRUE(ReadFileBytes(folder + "/" + name) == ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + name))
            << name;

    RunResult none = Run("pack '" + Path("nonexist") + "' -o '" + Path("x.bin") + "' --crc-header '" + Path("x.h") + "'");
    EXPECT_EQ(none.code, 65);
    EXPECT_NE(none.err.find("nonexist: no such folder"), std::string::npos) << none.err;
}

TEST_F(Tool, AFailedPackLeavesTheEarlierPairAsItWas)
{
    // Onto /dev/full and onto a small volume that is full, at the payload or
    // only when the header's last bytes are flushed by its close.
    if (geteuid() != 0)
        GTEST_SKIP() << "a mount namespace and a small tmpfs need root: neither /dev/full nor full volumes were tried";

    // /dev/full is the run's own: it runs in a mount namespace of its own
    // whose /dev is a small tmpfs holding a full device made there, so a
    // run that wrote or renamed anything onto /dev/full could change only
    // that, never the machine's.
    std::string script = Path("private-dev.sh");
    std::string text = "mount -t tmpfs -o size=64k,mode=755 yelkdev /dev && mknod -m 666 /dev/full c 1 7 || exit 0\n"
                       "echo ready >'" + Path("ready") + "'\n"
                       "'" YELKPACK "' pack " YELK_SAMPLES_DIR " -o /dev/full --crc-header '" + Path("x.h") + "'\n"
                       "code=$?\n"
                       "test -c /dev/full || echo '/dev/full is no longer a device' >&2\n"
                       "exit $code\n";
    WriteFileBytes(script, Bytes(text.begin(), text.end()));
    RunResult dev = Run("unshare --mount --propagation private sh '" + script + "'", false);
    if (!Exists(Path("ready")))
        GTEST_SKIP() << "no mount namespace with a /dev of its own here: /dev/full and full volumes were not tried; "
                     << dev.err;
    EXPECT_EQ(dev.code, 65) << dev.err;
    EXPECT_NE(dev.err.find("/dev/full: not a regular file"), std::string::npos) << dev.err;
    EXPECT_EQ(dev.err.find("no longer a device"), std::string::npos) << dev.err;
    EXPECT_FALSE(Exists(Path("x.h")));

    uint32_t crc;
    Bytes payload = PackSamples(&crc);
    ASSERT_LT(payload.size(), 3u * 4096);
    struct Case {
        const char *what;
        int pages;   /* the volume's size; the earlier pair takes two */
    } cases[] = {
        {"no room for the new payload", 3},
        {"room for the payload, none for the header", 5},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string mount = Path("full" + std::to_string(run++));
        mkdir(mount.c_str(), 0755);
        std::string cmd = "mount -t tmpfs -o size=" + std::to_string(c.pages * 4) + "k tmpfs '" + mount + "' 2>/dev/null";
        if (system(cmd.c_str()) != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (a container without the right): full volumes were not tried";
        WriteFileBytes(mount + "/p.bin", Bytes{'o', 'l', 'd'});
        WriteFileBytes(mount + "/p.h", Bytes{'o', 'l', 'd', 'h'});
        RunResult r = Run("pack " YELK_SAMPLES_DIR " -o '" + mount + "/p.bin' --crc-header '" + mount + "/p.h'");
        EXPECT_EQ(r.code, 74) << r.err;
        EXPECT_TRUE(ReadFileBytes(mount + "/p.bin") == (Bytes{'o', 'l', 'd'}));
        EXPECT_TRUE(ReadFileBytes(mount + "/p.h") == (Bytes{'o', 'l', 'd', 'h'}));
        size_t entries = 0;
        if (DIR *d = opendir(mount.c_str())) {
            while (dirent *e = readdir(d))
                entries += e->d_name[0] != '.' || strlen(e->d_name) > 2;
            closedir(d);
        }
        EXPECT_EQ(entries, 2u) << "nothing else left on the volume";
        (void)system(("umount '" + mount + "'").c_str());
    }
}

}  // namespace
