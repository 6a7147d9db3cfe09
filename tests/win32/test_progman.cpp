/*
 * The Program Manager group against Wine's own "PROGMAN" service: the group
 * folder and each link are read back, as Wine's own tests of the service do.
 */
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "common/session.h"
#include "shell/progman.h"
#include "tests/win32/shelllink.h"

namespace {

std::string ProgramsFolder()
{
    char path[MAX_PATH];
    EXPECT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, path));
    return path;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Lower(std::string text)
{
    CharLowerA(&text[0]);
    return text;
}

/* A DDE client instance for the test, as WinMain makes one. */
class ProgmanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        session = InstallSession();
        ASSERT_EQ(DMLERR_NO_ERROR, DdeInitializeA((LPDWORD)&session.ddeInstance, DdeCallback,
                                                  APPCMD_CLIENTONLY, 0));
        group = ProgramsFolder() + "\\Yelk";
    }
    void TearDown() override
    {
        if (session.ddeInstance)
            DdeUninitialize(session.ddeInstance);
        CoUninitialize();
    }
    /* A destination folder holding the five files the items point at. */
    void MakeDestination(const char *folder)
    {
        CreateDirectoryA(folder, nullptr);
        lstrcpyA(session.destDir, folder);
        for (const char *name : {"yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt"}) {
            std::string path = std::string(folder) + "\\" + name;
            HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(h);
        }
    }
    void RemoveGroup()
    {
        for (const char *item : kItems)
            DeleteFileA((group + "\\" + item + ".lnk").c_str());
        RemoveDirectoryA(group.c_str());
    }
    static constexpr const char *kItems[5] = {"Yelk32", "Yelk Help", "Primer Guide", "About.txt",
                                              "History.txt"};
    std::string group;
};

TEST(ProgmanCommands, TextsForBothShells)
{
    struct Row {
        int row, newShell;
        const char *expected;
        int required;
    } rows[] = {
        {0, 1, "[CreateGroup(\"Yelk\")]", 1},
        {1, 1, "[ShowGroup(\"Yelk\",1)]", 0},
        {2, 1, "[ReplaceItem(\"Yelk32\")]", 0},
        {3, 0, "[AddItem(\"c:\\yelk\\Yelk32.exe\",\"Yelk32\",,0,,,\"c:\\yelk\")]", 1},
        {5, 1, "[AddItem(\"c:\\yelk\\Yelk.hlp\",\"Yelk Help\",,0,,,\"c:\\yelk\")]", 1},
        {7, 1, "[AddItem(\"c:\\yelk\\Primer.hlp\",\"Primer Guide\",,0,,,\"c:\\yelk\")]", 1},
        {8, 0, "[ReplaceItem(\"About.txt\")]", 0},
        {9, 1, "[AddItem(\"c:\\yelk\\about.txt\",\"About.txt\",,,,,\"c:\\yelk\")]", 1},
        {9, 0, "[AddItem(\"c:\\yelk\\about.txt\",\"About.txt\",\"write.exe\",0,,,\"c:\\yelk\")]", 1},
        {10, 1, "[ReplaceItem(\"History.txt\")]", 0},
        {11, 1, "[AddItem(\"c:\\yelk\\history.txt\",\"History.txt\",,,,,\"c:\\yelk\")]", 1},
        {11, 0, "[AddItem(\"c:\\yelk\\history.txt\",\"History.txt\",\"write.exe\",0,,,\"c:\\yelk\")]", 1},
    };
    session = InstallSession();
    lstrcpyA(session.destDir, "c:\\yelk");
    for (const Row &r : rows) {
        session.newShell = r.newShell;
        char command[kLongTextSize];
        EXPECT_EQ(r.required, FormatProgmanCommand(r.row, command, sizeof command)) << r.row;
        EXPECT_STREQ(r.expected, command) << r.row << " newShell " << r.newShell;
    }
}

TEST(ProgmanCommands, LongestFolderFitsTwice)
{
    session = InstallSession();
    std::string folder = "c:\\" + std::string(kPathSize - 4, 'a');
    lstrcpyA(session.destDir, folder.c_str());
    session.newShell = 0;
    char command[kLongTextSize];
    FormatProgmanCommand(11, command, sizeof command);
    std::string expected = "[AddItem(\"" + folder + "\\history.txt\",\"History.txt\",\"write.exe\",0,,,\"" +
                           folder + "\")]";
    EXPECT_EQ(expected, command);
}

TEST(ProgmanCommands, NoDdeInstanceSendsNothing)
{
    session = InstallSession();
    lstrcpyA(session.destDir, "c:\\yelk");
    EXPECT_EQ(0, ProgmanCommand("[CreateGroup(\"Yelk\")]"));
    EXPECT_EQ(0, CreateProgmanGroup());
}

TEST_F(ProgmanTest, NewShellGroupHasFiveItems)
{
    MakeDestination("c:\\yelknew");
    session.newShell = 1;
    EXPECT_EQ(1, CreateProgmanGroup());

    ASSERT_TRUE(Exists(group)) << group;
    const char *files[5] = {"yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt"};
    for (int i = 0; i < 5; i++) {
        LinkInfo info = ReadLink(group + "\\" + kItems[i] + ".lnk");
        ASSERT_TRUE(info.loaded) << kItems[i];
        EXPECT_EQ(std::string("c:\\yelknew\\") + files[i], Lower(info.target)) << kItems[i];
        EXPECT_EQ("c:\\yelknew", Lower(info.workingDir)) << kItems[i];
        EXPECT_EQ("", info.iconFile) << kItems[i];
    }

    /* A second run replaces every item and succeeds again. */
    EXPECT_EQ(1, CreateProgmanGroup());
    EXPECT_TRUE(ReadLink(group + "\\Yelk32.lnk").loaded);
    RemoveGroup();
}

TEST_F(ProgmanTest, OldShellTextItemsTakeWriteIcon)
{
    MakeDestination("c:\\yelkold");
    session.newShell = 0;
    EXPECT_EQ(1, CreateProgmanGroup());
    EXPECT_EQ("write.exe", ReadLink(group + "\\About.txt.lnk").iconFile);
    EXPECT_EQ("write.exe", ReadLink(group + "\\History.txt.lnk").iconFile);
    EXPECT_EQ("", ReadLink(group + "\\Yelk32.lnk").iconFile);
    EXPECT_EQ("c:\\yelkold\\about.txt", Lower(ReadLink(group + "\\About.txt.lnk").target));
    RemoveGroup();
}

TEST_F(ProgmanTest, FailedAddItemStopsTheGroup)
{
    /* Wine's service refuses an item whose program does not exist: the group
       is created, the first AddItem fails and nothing after it is sent. */
    CreateDirectoryA("c:\\yelkempty", nullptr);
    lstrcpyA(session.destDir, "c:\\yelkempty");
    session.newShell = 1;
    EXPECT_EQ(0, CreateProgmanGroup());
    EXPECT_TRUE(Exists(group));
    for (const char *item : kItems)
        EXPECT_FALSE(Exists(group + "\\" + item + ".lnk")) << item;

    /* Only the program present: items after it are never attempted. */
    HANDLE h = CreateFileA("c:\\yelkempty\\yelk32.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    h = CreateFileA("c:\\yelkempty\\about.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    EXPECT_EQ(0, CreateProgmanGroup());
    EXPECT_TRUE(Exists(group + "\\Yelk32.lnk"));
    EXPECT_FALSE(Exists(group + "\\About.txt.lnk"));
    RemoveGroup();
}

}  // namespace
