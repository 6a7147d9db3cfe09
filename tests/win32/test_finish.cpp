/*
 * The finishing actions under Wine, each result read back: the uninstall
 * values from the registry, the desktop link through IShellLinkA, the ignore
 * list from yelk.ini, the client's start and the help request.
 */
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "app/finish.h"
#include "common/session.h"
#include "tests/win32/shelllink.h"

namespace {

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Yelk";
const char kIgnore[] =
    "*.exe,*.com,*.bat,*.dll,*.ini,*.yks,*.vbs,*.js,*.pif,*.scr,*.lnk,*.pl,*.shs,*.htm,*.html";

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteText(const std::string &path, const char *text)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(h, text, lstrlenA(text), &written, nullptr);
    CloseHandle(h);
}

/* The value and its stored size, or "<none>" when it is missing. */
std::string ReadUninstallValue(const char *name, DWORD *size = nullptr)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<none>";
    char data[1000] = "";
    DWORD type = 0, length = sizeof data;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)data, &length);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return "<none>";
    if (size)
        *size = length;
    return data;
}

std::string DesktopLink()
{
    char path[MAX_PATH];
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, path);
    return std::string(path) + "\\Yelk32.lnk";
}

std::string Lower(std::string text)
{
    CharLowerA(&text[0]);
    return text;
}

std::string IniIgnore(const std::string &ini)
{
    char value[400];
    GetPrivateProfileStringA("text", "ignore", "<none>", value, sizeof value, ini.c_str());
    return value;
}

/* What a stand-in help viewer received through WM_COPYDATA. */
struct HelpRequest {
    int count;
    std::string file;
    UINT command;
    LONG data;
} helpRequest;

LRESULT CALLBACK HelpViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        /* The request block: size, command, data, reserved, then the offset
           of the file name from the block's start. */
        const COPYDATASTRUCT *copy = (const COPYDATASTRUCT *)lParam;
        const BYTE *block = (const BYTE *)copy->lpData;
        helpRequest.count++;
        helpRequest.command = *(const WORD *)(block + 2);
        helpRequest.data = *(const LONG *)(block + 4);
        helpRequest.file = (const char *)(block + *(const WORD *)(block + 12));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class FinishTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        session = InstallSession();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        DeleteFileA(DesktopLink().c_str());
        CreateDirectoryA(kFolder, nullptr);
        WriteText(std::string(kFolder) + "\\yelk32.exe", "MZ");
        WriteText(Ini(), "[text]\r\nignore=*.exe\r\n[other]\r\nkeep=1\r\n");
        lstrcpyA(session.destDir, kFolder);
    }
    void TearDown() override { CoUninitialize(); }
    static std::string Ini() { return std::string(kFolder) + "\\yelk.ini"; }
    static constexpr const char *kFolder = "c:\\yelkfin";
};

TEST_F(FinishTest, UninstallValueStoredWithItsTerminator)
{
    EXPECT_EQ(1, WriteUninstallValue("DisplayName", "Yelk"));
    DWORD size = 0;
    EXPECT_EQ("Yelk", ReadUninstallValue("DisplayName", &size));
    EXPECT_EQ(5u, size);
}

TEST(LinkPath, SeparatorAndLength)
{
    std::string fits(MAX_PATH - 1 - 11, 'd');       /* + "\Yelk32.lnk" = 259 characters */
    std::string tooLong(MAX_PATH - 11, 'd');
    struct Row {
        std::string desktop;
        int result;
        std::string expected;
    } rows[] = {
        {"c:\\users\\u\\Desktop", 1, "c:\\users\\u\\Desktop\\Yelk32.lnk"},
        {"c:\\", 1, "c:\\Yelk32.lnk"},           /* a root keeps its one backslash */
        {"d", 1, "dYelk32.lnk"},                 /* a one-character path gets none */
        {fits, 1, fits + "\\Yelk32.lnk"},
        {tooLong, 0, ""},                        /* refused, never cut */
        {std::string(1000, 'e'), 0, ""},
    };
    for (const Row &r : rows) {
        char out[kLinkPathSize + 8];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(r.result, BuildLinkPath(r.desktop.c_str(), out)) << r.desktop.size();
        EXPECT_EQ(r.expected, out) << r.desktop.size();
        EXPECT_EQ('x', out[kLinkPathSize]) << "written past the buffer";
    }
}

TEST_F(FinishTest, ShortcutNeedsAFileName)
{
    EXPECT_EQ(-1, CreateDesktopShortcut("c:\\yelkfin\\"));
    EXPECT_FALSE(Exists(DesktopLink()));
}

TEST_F(FinishTest, InstalledOnNewShell)
{
    session.installDone = 1;
    session.newShell = 1;
    RunFinishingActions();

    EXPECT_EQ("Yelk", ReadUninstallValue("DisplayName"));
    DWORD size = 0;
    EXPECT_EQ("\"c:\\yelkfin\\yelk32.exe\" -uninstall", ReadUninstallValue("UninstallString", &size));
    EXPECT_EQ(35u, size);
    LinkInfo link = ReadLink(DesktopLink());
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ("c:\\yelkfin\\yelk32.exe", Lower(link.target));
    EXPECT_EQ("c:\\yelkfin", Lower(link.workingDir));
    EXPECT_EQ(kIgnore, IniIgnore(Ini()));
    char other[8];
    GetPrivateProfileStringA("other", "keep", "", other, sizeof other, Ini().c_str());
    EXPECT_STREQ("1", other);
}

TEST_F(FinishTest, InstalledOnOldShellWritesNoUninstallValues)
{
    session.installDone = 1;
    session.newShell = 0;
    session.createShortcuts = 0;   /* governs only the Program Manager group */
    RunFinishingActions();
    EXPECT_EQ("<none>", ReadUninstallValue("DisplayName"));
    EXPECT_EQ("<none>", ReadUninstallValue("UninstallString"));
    EXPECT_TRUE(ReadLink(DesktopLink()).loaded);
    EXPECT_EQ(kIgnore, IniIgnore(Ini()));
}

TEST_F(FinishTest, CancelledWizardOnlyWritesTheIgnoreList)
{
    session.newShell = 1;
    RunFinishingActions();
    EXPECT_EQ("<none>", ReadUninstallValue("DisplayName"));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_EQ(kIgnore, IniIgnore(Ini()));
}

TEST_F(FinishTest, MissingSettingsFileIsNotCreated)
{
    DeleteFileA(Ini().c_str());
    RunFinishingActions();
    EXPECT_FALSE(Exists(Ini()));
}

TEST_F(FinishTest, NoFolderSetMeansNoSettingsFileIsTouched)
{
    /* Cancelled before any folder was read: \yelk.ini at the current drive's
       root is a file the installer never chose, and stays as it is. */
    SetCurrentDirectoryA("c:\\yelkfin");
    WriteText("c:\\yelk.ini", "[text]\r\n");
    session.destDir[0] = '\0';
    RunFinishingActions();
    EXPECT_EQ("<none>", IniIgnore("c:\\yelk.ini"));
    DeleteFileA("c:\\yelk.ini");
}

TEST_F(FinishTest, LaunchesClientInItsFolderThenAsksForHelp)
{
    /* The stand-in client sits beside this test program. */
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string client = self;
    client = client.substr(0, client.rfind('\\')) + "\\standin_client.exe";
    ASSERT_TRUE(CopyFileA(client.c_str(), "c:\\yelkfin\\yelk32.exe", FALSE)) << client;
    DeleteFileA("c:\\yelkfin\\started.txt");

    WNDCLASSA viewerClass = {};
    viewerClass.lpfnWndProc = HelpViewerProc;
    viewerClass.hInstance = GetModuleHandleA(nullptr);
    viewerClass.lpszClassName = "MS_WINHELP";
    ATOM atom = RegisterClassA(&viewerClass);
    ASSERT_NE(0, atom) << GetLastError();
    HWND viewer = CreateWindowA("MS_WINHELP", "Help", 0, 0, 0, 0, 0, nullptr, nullptr,
                                viewerClass.hInstance, nullptr);
    ASSERT_NE(nullptr, viewer) << GetLastError();
    helpRequest = HelpRequest();

    session.launchClient = 1;
    session.openHelp = 1;
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    RunFinishingActions();
    EXPECT_EQ(0u, GetErrorMode());

    EXPECT_EQ(1, helpRequest.count);
    EXPECT_EQ("c:\\yelkfin\\yelk.hlp", Lower(helpRequest.file));
    EXPECT_EQ((UINT)HELP_CONTEXT, helpRequest.command);
    EXPECT_EQ(10, helpRequest.data);
    DestroyWindow(viewer);

    /* The client writes its note with no sharing and closes it: until then
       the file cannot be opened, or is still empty. */
    char folder[MAX_PATH] = "";
    DWORD length = 0;
    for (int i = 0; i < 100 && length == 0; i++) {
        HANDLE h = CreateFileA("c:\\yelkfin\\started.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            ReadFile(h, folder, MAX_PATH - 1, &length, nullptr);
            CloseHandle(h);
        }
        if (length == 0)
            Sleep(50);
    }
    ASSERT_NE(0u, length) << "the client did not start";
    folder[length] = '\0';
    EXPECT_EQ("c:\\yelkfin", Lower(folder));
}

}  // namespace
