// The sandbox, the test client files and the install driver of the engine tests.
#include "tests/native/test_engine_fixture.h"

#include "common/messages.h"

#include <cerrno>

#include "payload/crc.h"

namespace enginetest {

const char *const kNames[kMemberCount] = {
    "yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt",
    "yelk.ini", "macros.ini", "menus.ini", "hosts.ini", "marks.ini",
};

static uint32_t NextRandom(uint32_t &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

Bytes MemberContent(int index, int version)
{
    uint32_t state = (uint32_t)(index * 7919 + version * 104729 + 1);
    Bytes out;
    if (index == 0) {
        /* Half-compressible binary: runs, copies of earlier bytes, noise. */
        while (out.size() < 70000) {
            uint32_t r = NextRandom(state);
            if (r % 4 == 0 && out.size() > 64) {
                size_t from = out.size() - 1 - r % 60;
                for (int i = 0; i < 12; i++)
                    out.push_back(out[from + i]);
            } else {
                out.push_back((uint8_t)(r >> 3));
            }
        }
        return out;
    }
    std::string text = index >= 5 ? "[text]\r\n" : "Yelk v5.9 32bit\r\n";
    int lines = 20 + index * 15;
    for (int i = 0; i < lines; i++) {
        text += index >= 5 ? "key" : "line ";
        text += std::to_string(i) + "=" + std::to_string(NextRandom(state) % 100000);
        text += " v" + std::to_string(version) + "\r\n";
    }
    return Text(text);
}

std::vector<Bytes> ClientFiles(int version)
{
    std::vector<Bytes> files;
    for (int i = 0; i < kMemberCount; i++)
        files.push_back(MemberContent(i, version));
    return files;
}

Bytes Encode(const Bytes &data) { return LzhEncode(data.data(), data.size(), kParseGreedy); }

std::vector<Bytes> EncodeAll(const std::vector<Bytes> &files)
{
    std::vector<Bytes> streams;
    for (const Bytes &f : files)
        streams.push_back(Encode(f));
    return streams;
}

Bytes Decode(const Bytes &stream)
{
    bool record = recordedUi.recordFilePaints;
    recordedUi.recordFilePaints = false;
    Bytes result;
    testsupport::DecodeStream(stream, &result);
    recordedUi.recordFilePaints = record;
    return result;
}

Bytes ImageBytes(size_t size, uint32_t seed)
{
    Bytes out;
    while (out.size() < size) {
        uint8_t b = (uint8_t)NextRandom(seed);
        /* No 'A' at all: neither a marker nor a prefix of one. */
        out.push_back(b == 'A' ? 'a' : b);
    }
    return out;
}

static int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void RemoveTree(const std::string &path)
{
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void EngineFixture::SetUp()
{
    char pattern[] = "/tmp/yelk-engine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    tmp = root + "/tmp";
    ASSERT_EQ(mkdir(tmp.c_str(), 0777), 0);
    setenv("TMPDIR", tmp.c_str(), 1);
    SetDriveRoot(root + "/drives");
    ResetRecordedUi(0, 400);
    if (session.setupStream)
        fclose(session.setupStream);
    if (session.memberStream)
        fclose(session.memberStream);
    session = InstallSession();
    memset(memberChecks, 0, sizeof memberChecks);
    session.makeBackups = 1;
    session.keepSettings = 1;
    session.createShortcuts = 1;
    SetDest(root + "/dest");
}

void EngineFixture::TearDown()
{
    if (session.setupStream)
        fclose(session.setupStream);
    if (session.memberStream)
        fclose(session.memberStream);
    session.setupStream = session.memberStream = nullptr;
    unsetenv("TMPDIR");
    RemoveTree(root);
}

void EngineFixture::SetDest(const std::string &linuxPath)
{
    dest = linuxPath;
    std::string win = ToWindowsPath(linuxPath);
    ASSERT_LT(win.size(), sizeof session.destDir);
    strcpy(session.destDir, win.c_str());
}

std::string EngineFixture::WriteInstaller(const Bytes &bytes, const char *name)
{
    std::string path = root + "/" + name;
    WriteAll(path, bytes);
    return path;
}

void EngineFixture::SetChecks(const std::vector<Bytes> &files)
{
    for (int i = 0; i < kMemberCount; i++)
        memberChecks[i] = {(uint32_t)files[i].size(), Crc32(files[i].data(), files[i].size())};
}

std::string EngineFixture::InstallerOf(const std::vector<Bytes> &files, size_t imageSize)
{
    SetChecks(files);
    Bytes image = ImageBytes(imageSize, 99);
    Bytes payload = BuildPayload(EncodeAll(files));
    image.insert(image.end(), payload.begin(), payload.end());
    return WriteInstaller(image);
}

int EngineFixture::RunInstall(const std::string &file, const std::vector<int> &sliceBytes,
                              const std::function<void()> &afterSlice)
{
    consumed.clear();
    if (PrepareInstallRun() != kDestDirReady)
        return -1;
    session.setupStream = OpenFileStream(ToWindowsPath(file).c_str(), "rb");
    if (session.setupStream == nullptr)
        return -1;
    DrawScanProgress(nullptr, session.setupStream);

    int result;
    size_t call = 0;
    do {
        if (!sliceBytes.empty())
            session.sliceCount = kSliceBytes - sliceBytes[call++ % sliceBytes.size()];
        long before = ftell(session.setupStream);
        result = PumpExtraction();
        if (result == kPumpMore)
            consumed.push_back(ftell(session.setupStream) - before);
        if (afterSlice)
            afterSlice();
    } while (result == kPumpMore);

    /* The wizard's actions on the results that end a run. */
    if ((result != kPumpFinished || session.memberIndex == 0) && !CleanupInstall())
        ShowError(kErrorBackupMove);
    return result;
}

void EngineFixture::ExpectInstalled(const std::vector<Bytes> &files)
{
    for (int i = 0; i < kMemberCount; i++)
        EXPECT_EQ(ReadAll(DestFile(kNames[i])), files[i]) << kNames[i];
}

}  // namespace enginetest
