/*
 * The built setup32.exe under Windows (Wine): its payload passes the integrity
 * check against the compiled-in CRC, and every member comes back byte for byte
 * as the client file it was packed from, both decoded one by one and through
 * the extraction engine as the installer runs it.
 */
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/session.h"
#include "payload/container.h"
#include "payload/extract.h"
#include "payload/lzhuf.h"

/* Set by the build: the installer and the folder it was packed from. */
#ifndef YELK_SETUP_EXE
#error YELK_SETUP_EXE must name the built setup32.exe
#endif
#ifndef YELK_CLIENT_DIR
#error YELK_CLIENT_DIR must name the packed client folder
#endif

namespace {

bool ReadWholeFile(const std::string &path, std::string &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    char block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        out.append(block, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool WriteWholeFile(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

/* The client file that member index was packed from (the file table's name). */
std::string ClientFile(int index)
{
    InstallSession saved = session;
    snprintf(session.destDir, sizeof session.destDir, "%s", YELK_CLIENT_DIR);
    char path[1024];
    MemberPath(path, index);
    session = saved;
    return path;
}

/* Splits an installer file into its member streams the way the installer
   matches its marker: byte by byte, a byte that breaks a partial match is not
   tried as the start of a new one. True when the terminating pair was found. */
bool SplitMembers(const std::string &file, std::vector<std::string> &members)
{
    static const char kMarker[] = {'A', 'R', 'N', 'I'};
    enum { kBefore, kAfterMarker, kInMember } state = kBefore;
    std::string current;
    size_t matched = 0;
    for (char c : file) {
        if (c == kMarker[matched]) {
            if (++matched < sizeof kMarker)
                continue;
            matched = 0;
            if (state == kAfterMarker)
                return true;
            if (state == kInMember)
                members.push_back(current);
            current.clear();
            state = kAfterMarker;
            continue;
        }
        if (state != kBefore) {
            current.append(kMarker, matched);
            current += c;
            state = kInMember;
        }
        matched = 0;
    }
    return false;
}

/* A fresh folder under the prefix's temporary folder. */
std::string MakeScratchFolder(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + name;
    std::string pattern = dir + "\\*";
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((dir + "\\" + found.cFileName).c_str());
        while (FindNextFileA(h, &found));
        FindClose(h);
    }
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

/* Error boxes would wait for a user; this hook records their captions and
   dismisses them, so a failure shows as a failed expectation. */
std::vector<std::string> boxCaptions;
HHOOK boxHook;

LRESULT CALLBACK DismissBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = (HWND)wParam;
        char className[32] = "", caption[128] = "";
        GetClassNameA(box, className, sizeof className);
        if (strcmp(className, "#32770") == 0) {
            GetWindowTextA(box, caption, sizeof caption);
            boxCaptions.push_back(caption);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

class PayloadWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        session = InstallSession();
        session.appInstance = GetModuleHandleA(NULL);
        ResetInstall();
        boxCaptions.clear();
        boxHook = SetWindowsHookExA(WH_CBT, DismissBoxes, NULL, GetCurrentThreadId());
        ASSERT_TRUE(ReadWholeFile(YELK_SETUP_EXE, exe)) << YELK_SETUP_EXE;
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(boxHook);
        EXPECT_TRUE(boxCaptions.empty()) << "first box: " << boxCaptions.front();
        if (session.setupStream)
            fclose(session.setupStream);
        if (session.memberStream)
            fclose(session.memberStream);
        session = InstallSession();
    }
    std::string exe;
};

TEST_F(PayloadWin32, ChecksumEqualsCompiledInValue)
{
    uint32_t crc = PayloadCrc(YELK_SETUP_EXE);
    EXPECT_NE(crc, 0u);
    EXPECT_EQ(crc, ExpectedPayloadCrc());
}

TEST_F(PayloadWin32, EachMemberDecodesToItsClientFile)
{
    std::vector<std::string> members;
    ASSERT_TRUE(SplitMembers(exe, members)) << "no terminating marker pair";
    ASSERT_EQ(members.size(), (size_t)kMemberCount);

    std::string dir = MakeScratchFolder("yelk-members");
    for (int i = 0; i < kMemberCount; i++) {
        SCOPED_TRACE(ClientFile(i));
        std::string coded = dir + "\\coded", decoded = dir + "\\decoded";
        ASSERT_TRUE(WriteWholeFile(coded, members[i]));
        FILE *in = fopen(coded.c_str(), "rb");
        FILE *out = fopen(decoded.c_str(), "wb");
        ASSERT_TRUE(in && out);
        EXPECT_EQ(LzhDecode(in, out), 1);
        fclose(in);
        fclose(out);

        std::string got, want;
        ASSERT_TRUE(ReadWholeFile(decoded, got));
        ASSERT_TRUE(ReadWholeFile(ClientFile(i), want));
        EXPECT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
}

TEST_F(PayloadWin32, ExtractionEngineInstallsEveryClientFile)
{
    std::string dir = MakeScratchFolder("yelk-install");
    snprintf(session.destDir, sizeof session.destDir, "%s", dir.c_str());
    session.setupStream = fopen(YELK_SETUP_EXE, "rb");
    ASSERT_NE(session.setupStream, nullptr);
    /* The compiled-in records: each member is checked against its own. */
    ASSERT_NE(ExpectedPayloadCrc(), 0u);

    int result = kPumpMore;
    for (int slices = 0; result == kPumpMore && slices < 100000; slices++)
        result = PumpExtraction();
    EXPECT_EQ(result, kPumpFinished);
    EXPECT_EQ(session.memberIndex, kMemberCount);

    for (int i = 0; i < kMemberCount; i++) {
        char path[1024];
        MemberPath(path, i);
        SCOPED_TRACE(path);
        std::string got, want;
        ASSERT_TRUE(ReadWholeFile(path, got));
        ASSERT_TRUE(ReadWholeFile(ClientFile(i), want));
        EXPECT_TRUE(got == want);
        EXPECT_EQ(memberChecks[i].size, want.size());
    }
}

TEST_F(PayloadWin32, AWriteThatFailsOnlyWhenTheCloseFlushesIsError11)
{
    /* The C library here reports no failure from a close whose last flush
       failed: a member small enough to stay in the stream's buffer reaches
       the temporary file only at the close. With that file on a full volume
       the run must stop with [11] rather than decode a member that was never
       written. */
    std::string dir = MakeScratchFolder("yelk-flush");
    snprintf(session.destDir, sizeof session.destDir, "%s", dir.c_str());
    std::string installer = dir + "-setup.bin";
    ASSERT_TRUE(WriteWholeFile(installer, std::string("image ") + "ARNI" + "tiny member" + "ARNI" + "ARNI\r\n"));
    char saved[MAX_PATH] = "";
    DWORD had = GetEnvironmentVariableA("TMP", saved, sizeof saved);
    SetEnvironmentVariableA("TMP", YELK_FULL_TEMP);

    session.setupStream = fopen(installer.c_str(), "rb");
    ASSERT_NE(session.setupStream, nullptr);
    int result = kPumpMore;
    for (int slices = 0; result == kPumpMore && slices < 100; slices++)
        result = PumpExtraction();
    std::string tempPath = session.tempPath;
    CleanupInstall();
    SetEnvironmentVariableA("TMP", had ? saved : NULL);
    EXPECT_NE(tempPath.find("fulltemp"), std::string::npos) << tempPath;
    EXPECT_EQ(result, kPumpFailed);
    EXPECT_EQ(boxCaptions, std::vector<std::string>{"Yelk Installation Error [11]"});
    boxCaptions.clear();
    DeleteFileA(installer.c_str());
}

TEST_F(PayloadWin32, ALinkInTheDestinationIsRefusedBeforeAnythingMoves)
{
    /* A backup folder, or a member's name, that is a link to a folder
       elsewhere: the run refuses with [7] before it moves anything, so
       nothing of the earlier installation goes through the link. */
    const std::string elsewhere = std::string(YELK_LINKS) + "\\elsewhere";
    for (const char *folder : {"backuplink", "memberlink"}) {
        SCOPED_TRACE(folder);
        std::string dir = std::string(YELK_LINKS) + "\\" + folder;
        ASSERT_TRUE(WriteWholeFile(dir + "\\yelk32.exe", "earlier yelk32.exe"));
        ASSERT_TRUE(WriteWholeFile(elsewhere + "\\yelk32.exe", "a file elsewhere"));
        ResetInstall();
        snprintf(session.destDir, sizeof session.destDir, "%s", dir.c_str());
        session.makeBackups = 1;
        EXPECT_EQ(PrepareInstallRun(), kDestDirFailed);
        EXPECT_EQ(boxCaptions, std::vector<std::string>{"Yelk Installation Error [7]"});
        boxCaptions.clear();
        std::string text;
        EXPECT_TRUE(ReadWholeFile(dir + "\\yelk32.exe", text) && text == "earlier yelk32.exe");
        EXPECT_TRUE(ReadWholeFile(elsewhere + "\\yelk32.exe", text) && text == "a file elsewhere");
        DeleteFileA((dir + "\\yelk32.exe").c_str());
        DeleteFileA((elsewhere + "\\yelk32.exe").c_str());
    }
}

}  // namespace
