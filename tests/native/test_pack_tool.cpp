// The yelkpack tool: pack's refusals, list and verify on payloads and on
// small PE files built here, extract, and the scan that must see a file
// exactly as the installer's PayloadCrc does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/posix/posix_platform.h"
#include "common/session.h"
#include "payload/container.h"
#include "payload/crc.h"
#include "test_pack_helpers.h"
#include "tools/crcrecord.h"
#include "tools/payloadscan.h"

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
        strcpy(session.marker, "A");
        strcat(session.marker, "RNI");
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)system(cmd.c_str());
    }

    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    RunResult Run(const std::string &args) const
    {
        std::string cmd = std::string(YELKPACK) + " " + args + " >'" + Path("stdout") + "' 2>'" +
                          Path("stderr") + "'";
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
        return ReadFileBytes(Path("p.bin"));
    }

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

TEST_F(Tool, UsageErrors)
{
    const char *cases[] = {"", "pack", "pack dir -o x.bin", "list", "verify a b", "extract only-one", "frobnicate"};
    for (const char *args : cases)
        EXPECT_EQ(Run(args).code, 64) << args;
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

Bytes BuildPe(const PeParts &p)
{
    const uint32_t kRdataRva = 0x1000, kRdataRaw = 0x200;
    uint32_t rdataSize = ((uint32_t)p.rdata.size() + 0x1FF) & ~0x1FFu;
    if (rdataSize == 0)
        rdataSize = 0x200;
    const uint32_t rsrcRva = 0x1000 + ((kRdataRva + rdataSize + 0xFFF) & ~0xFFFu);
    const uint32_t rsrcRaw = kRdataRaw + rdataSize;
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
    Put32(&f, opt + 92, 16);       /* data directories */
    Put32(&f, opt + 96 + 16, rsrcRva);
    Put32(&f, opt + 96 + 20, 0x58);
    size_t sec = opt + 224;
    memcpy(&f[sec], ".rdata", 6);
    Put32(&f, sec + 8, rdataSize);
    Put32(&f, sec + 12, kRdataRva);
    Put32(&f, sec + 16, rdataSize);
    Put32(&f, sec + 20, kRdataRaw);
    memcpy(&f[sec + 40], ".rsrc", 5);
    Put32(&f, sec + 48, rsrcSize);
    Put32(&f, sec + 52, rsrcRva);
    Put32(&f, sec + 56, rsrcSize);
    Put32(&f, sec + 60, rsrcRaw);
    Bytes rd(rdataSize, 0);
    memcpy(rd.data(), p.rdata.data(), p.rdata.size());
    f.insert(f.end(), rd.begin(), rd.end());
    f.insert(f.end(), rsrc.begin(), rsrc.end());
    return f;
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
    std::string code = "code and data of the installer " + Record(crc) + " more";
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
        {"a CRC record that does not match", {"code " + Record(crc ^ 1), "", payload}, false,
         "differs from the compiled-in"},
        {"no CRC record", {"code without the record", "", payload}, false, "no compiled-in CRC"},
        {"nine members", {code, "", nineMembers}, false, "9 members"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(Path("setup32.exe"), BuildPe(c.parts));
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

}  // namespace
