/*
 * The Win32 platform layer (app/platform_win32.cpp) under Wine: paths that do
 * not fit, the file operations on real files, and the user-facing calls against
 * a stand-in wizard window with the controls the core addresses.
 */
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/ids.h"
#include "common/platform.h"
#include "common/session.h"

namespace {

std::string Scratch(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + name;
}

void WriteFile(const std::string &path, const char *text)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs(text, f);
    fclose(f);
}

std::string ReadFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    int c;
    while ((c = fgetc(f)) != EOF)
        text += (char)c;
    fclose(f);
    return text;
}

void Remove(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

TEST(PlatformWin32, ProgramPathIsWholeOrNothing)
{
    session.appInstance = GetModuleHandleA(NULL);
    char path[MAX_PATH];
    int n = GetProgramPath(path, sizeof path);
    ASSERT_GT(n, 0);
    EXPECT_EQ((size_t)n, strlen(path));
    EXPECT_NE(strstr(path, "test_platform_win32.exe"), nullptr) << path;

    /* Exactly the length leaves no room for the terminator: a cut path would
       name another file, so nothing is returned. */
    char small[MAX_PATH];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(GetProgramPath(small, n), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(GetProgramPath(small, n + 1), n);
}

/* A file the installer writes (above all its temporary member file) cannot be
   opened for writing by anyone else while its stream is open; reading it is
   allowed, and a read stream shares as fopen does. */
TEST(PlatformWin32, WrittenFileDeniesOtherWriters)
{
    std::string path = Scratch("yelk-owned.tmp");
    Remove(path);
    FILE *owned = OpenFileStream(path.c_str(), "wb");
    ASSERT_NE(owned, nullptr);
    fputs("ours", owned);
    fflush(owned);

    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    /* A second installer's own open of the same file, "wb", fails too. */
    FILE *second = OpenFileStream(path.c_str(), "wb");
    EXPECT_EQ(second, nullptr);
    if (second)
        fclose(second);

    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    EXPECT_EQ(fclose(owned), 0);
    EXPECT_EQ(ReadFile(path), "ours");

    /* Closed, it is free again; two read streams share it. */
    FILE *one = OpenFileStream(path.c_str(), "rb");
    FILE *two = OpenFileStream(path.c_str(), "rb");
    EXPECT_NE(one, nullptr);
    EXPECT_NE(two, nullptr);
    if (one)
        fclose(one);
    if (two)
        fclose(two);
    FILE *again = OpenFileStream(path.c_str(), "wb");
    EXPECT_NE(again, nullptr);
    if (again)
        fclose(again);
    Remove(path);
}

TEST(PlatformWin32, TempFolderEndsInSeparatorAndMustFit)
{
    char folder[MAX_PATH];
    int n = GetTempFolder(folder, sizeof folder);
    ASSERT_GT(n, 0);
    EXPECT_EQ(folder[n - 1], '\\');
    EXPECT_EQ(GetTempFolder(folder, n), 0);
    EXPECT_STREQ(folder, "");
    EXPECT_EQ(GetTempFolder(folder, n + 1), n);
}

TEST(PlatformWin32, ReadOnlyFileIsDeletedOnlyAfterClearing)
{
    std::string path = Scratch("yelk-readonly.txt");
    Remove(path);
    WriteFile(path, "x");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_EQ(PathExists(path.c_str()), 1);
    EXPECT_EQ(DeleteFileAt(path.c_str()), 0);
    EXPECT_EQ(ClearAttributes(path.c_str()), 1);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_EQ(DeleteFileAt(path.c_str()), 1);
    EXPECT_EQ(PathExists(path.c_str()), 0);
    EXPECT_EQ(DeleteFileAt(path.c_str()), 0);
    EXPECT_EQ(ClearAttributes(path.c_str()), 0);
}

TEST(PlatformWin32, ClearReadOnlyLeavesTheOtherAttributes)
{
    std::string path = Scratch("yelk-index.gid");
    Remove(path);
    WriteFile(path, "x");
    const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | hiddenSystem));

    EXPECT_EQ(ClearReadOnly(path.c_str()), 1);
    DWORD attributes = GetFileAttributesA(path.c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(attributes & hiddenSystem, hiddenSystem);
    EXPECT_EQ(DeleteFileAt(path.c_str()), 1);
    EXPECT_EQ(ClearReadOnly(path.c_str()), 0) << "nothing there";
}

/* A move lands only where nothing stands: a file, a folder or a file held
   open at the destination is never replaced, and the source stays. */
TEST(PlatformWin32, MoveNeverReplaces)
{
    std::string folder = Scratch("yelk-move");
    std::string from = folder + "\\new.txt", to = folder + "\\old.txt", sub = folder + "\\sub";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFile(from, "new");

    WriteFile(to, "old");
    EXPECT_EQ(MoveFileTo(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(ReadFile(to), "old");
    CreateDirectoryA(sub.c_str(), nullptr);
    EXPECT_EQ(MoveFileTo(from.c_str(), sub.c_str()), 0);
    EXPECT_EQ(ReadFile(from), "new");
    EXPECT_EQ(PathKind(sub.c_str()), kPathFolder);
    EXPECT_EQ(PathKind(to.c_str()), kPathFile);

    Remove(to);
    EXPECT_EQ(PathKind(to.c_str()), kPathNone);
    EXPECT_EQ(MoveFileTo(from.c_str(), to.c_str()), 1);
    EXPECT_EQ(ReadFile(to), "new");
    EXPECT_EQ(PathExists(from.c_str()), 0);
    /* Nothing to move. */
    EXPECT_EQ(MoveFileTo(from.c_str(), to.c_str()), 0);

    /* A read-only file moves like any other (a rename writes nothing). */
    SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(MoveFileTo(to.c_str(), from.c_str()), 1);
    SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_NORMAL);
    Remove(from);
    RemoveDirectoryA(sub.c_str());
    EXPECT_EQ(RemoveDirectoryA(folder.c_str()), TRUE);
}

/* A file the run makes for itself is new, and written through the handle
   that made it: while it is open no one else can open it for writing. */
TEST(PlatformWin32, NewFileIsTheRunsAlone)
{
    std::string path = Scratch("yelk-new.txt");
    Remove(path);
    FILE *f = CreateNewFile(path.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(CreateNewFile(path.c_str()), nullptr) << "it exists now";
    HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    EXPECT_GE(fputs("made", f), 0);
    fclose(f);
    EXPECT_EQ(ReadFile(path), "made");
    Remove(path);
}

TEST(PlatformWin32, FoldersOneLevelAtATime)
{
    std::string parent = Scratch("yelk-folder"), child = parent + "\\inner";
    std::string file = child + "\\f.txt";
    Remove(file);
    RemoveDirectoryA(child.c_str());
    RemoveDirectoryA(parent.c_str());

    EXPECT_EQ(MakeFolder(child.c_str()), 0) << "parent missing";
    EXPECT_EQ(MakeFolder(parent.c_str()), 1);
    EXPECT_EQ(MakeFolder(parent.c_str()), 0) << "already there";
    EXPECT_EQ(MakeFolder(child.c_str()), 1);
    WriteFile(file, "x");
    EXPECT_EQ(RemoveFolder(child.c_str()), 0) << "not empty";
    Remove(file);
    EXPECT_EQ(RemoveFolder(child.c_str()), 1);
    EXPECT_EQ(RemoveFolder(parent.c_str()), 1);
    EXPECT_EQ(PathExists(parent.c_str()), 0);
}

TEST(PlatformWin32, WaitCursorIsShownAndRestored)
{
    HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    SetCursor(arrow);
    void *previous = BeginWaitCursor();
    EXPECT_EQ(GetCursor(), LoadCursorA(NULL, IDC_WAIT));
    EXPECT_EQ((HCURSOR)previous, arrow);
    EndWaitCursor(previous);
    EXPECT_EQ(GetCursor(), arrow);
}

/* A stand-in wizard: a top-level window with bordered frames at the two bars'
   ids and a static status line. */
class FakeWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        wizard = CreateWindowExA(0, "STATIC", "wizard", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        ASSERT_NE(wizard, nullptr);
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_BORDER, 10, 10, 200, 20, wizard,
                        (HMENU)IDC_FILEBAR, NULL, NULL);
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_BORDER, 10, 70, 250, 20, wizard,
                        (HMENU)IDC_OVERALLBAR, NULL, NULL);
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 10, 40, 300, 20, wizard,
                        (HMENU)IDC_STATUS, NULL, NULL);
        session.wizardDialog = wizard;
    }
    void TearDown() override
    {
        session.wizardDialog = nullptr;
        DestroyWindow(wizard);
    }
    HWND wizard = NULL;
};

TEST_F(FakeWizard, BarWidthsOfFrameOrItsInside)
{
    EXPECT_EQ(FileBarWidth(), 198) << "inside the one-pixel border";
    EXPECT_EQ(OverallBarWidth(), 250) << "the whole frame";
    DestroyWindow(GetDlgItem(wizard, IDC_OVERALLBAR));
    EXPECT_EQ(OverallBarWidth(), 0) << "no such control";
    session.wizardDialog = nullptr;
    EXPECT_EQ(FileBarWidth(), 0) << "no dialog";
}

TEST_F(FakeWizard, StatusTextGoesToTheStatusLine)
{
    SetStatusText("Extracting file: yelk32.exe");
    char text[64];
    GetDlgItemTextA(wizard, IDC_STATUS, text, sizeof text);
    EXPECT_STREQ(text, "Extracting file: yelk32.exe");
}

/* The error box is caught as it opens: its caption, text and owner. */
struct SeenBox {
    std::string caption, text;
    HWND owner;
    int count;
} seen;
HHOOK hook;

/* The message text: the longest text among the box's controls. */
BOOL CALLBACK LongestText(HWND control, LPARAM)
{
    char buffer[256];
    GetWindowTextA(control, buffer, sizeof buffer);
    if (strlen(buffer) > seen.text.size())
        seen.text = buffer;
    return TRUE;
}

LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam)
{
    char className[32] = "";
    if (code == HCBT_ACTIVATE)
        GetClassNameA((HWND)wParam, className, sizeof className);
    if (strcmp(className, "#32770") == 0) {
        HWND box = (HWND)wParam;
        char buffer[256];
        GetWindowTextA(box, buffer, sizeof buffer);
        seen.caption = buffer;
        seen.text = "";
        EnumChildWindows(box, LongestText, 0);
        seen.owner = GetWindow(box, GW_OWNER);
        seen.count++;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

TEST_F(FakeWizard, ErrorBoxIsOwnedByTheWizardWithItsNumber)
{
    seen = SeenBox();
    hook = SetWindowsHookExA(WH_CBT, CatchBox, NULL, GetCurrentThreadId());
    ShowErrorBox(10, "The installation file seems to be corrupt!");
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.caption, "Yelk Installation Error [10]");
    EXPECT_EQ(seen.text, "The installation file seems to be corrupt!");
    EXPECT_EQ(seen.owner, wizard);
}

}  // namespace
