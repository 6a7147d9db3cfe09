/*
 * The destination folder under Wine: the default folder, the chooser (the
 * system's old-style file dialog on template 1537) driven from a second thread
 * as a user would, the suggestion on a plain window, and CreateDestDir with
 * its error box.
 */
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/path.h"
#include "payload/destdir.h"
#include "tests/win32/wizard_dialog.h"

using namespace wizardtest;

namespace {

const char kChooserCaption[] = "Yelk Select Folder";

template <typename Ready>
bool WaitUntil(Ready ready, int ms = 10000)
{
    for (int waited = 0; waited <= ms; waited += 10) {
        if (ready())
            return true;
        Sleep(10);
    }
    return false;
}

HWND WaitWindow(const char *caption)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowA("#32770", caption)) != nullptr && IsWindowVisible(found); });
    return found;
}

/* What the driver thread saw of the chooser. */
struct Seen {
    std::string currentDir;    /* control 1088 when the chooser had settled */
    std::string suggestion;    /* edit 102 then */
    std::vector<std::string> steps;   /* edit 102 after each step of a script */
    RECT rect = {};
    HWND focus = nullptr, field = nullptr;
    DWORD selStart = 0, selEnd = 0;
    std::set<int> visible;
    bool stuck = false;        /* still open after OK or Cancel */
    std::string fileName;      /* control 1152 then */
};

/* A step of a script run against the open chooser: does something and
   returns the text of edit 102 it settles on (or "" when not checked). */
using Step = std::function<void(HWND chooser)>;

void PressButton(HWND chooser, int id)
{
    PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(chooser, id));
}

/* Selects the folder-list entry for `name` and sends the notification `code`;
   waits until the current folder ends in `name` when opening it. */
void FolderList(HWND chooser, const char *name, int code)
{
    HWND list = GetDlgItem(chooser, IDC_CHOOSERDIRLIST);
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    int index = -1;
    for (int i = 0; i < count && index < 0; i++) {
        char item[MAX_PATH] = "";
        SendMessageA(list, LB_GETTEXT, i, (LPARAM)item);
        std::string text = item;
        if (!text.empty() && text.front() == '[')
            text = text.substr(1, text.size() - 2);
        if (lstrcmpiA(text.c_str(), name) == 0)
            index = i;
    }
    ASSERT_GE(index, 0) << "no folder entry " << name;
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDC_CHOOSERDIRLIST, code), (LPARAM)list);
}

/* Runs BrowseForFolder on this thread while a second thread waits for the
   chooser, notes what it shows, runs `script`, and ends it with `finish`
   (IDOK or IDCANCEL). */
int Browse(HWND owner, const std::vector<Step> &script, int finish, Seen *seen)
{
    DWORD mainThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND chooser = WaitWindow(kChooserCaption);
        if (!chooser)
            return;
        HWND field = GetDlgItem(chooser, IDC_CHOOSERFOLDER);
        WaitUntil([&] { return GetWindowTextLengthA(field) > 0; });
        seen->currentDir = ItemText(chooser, IDC_CHOOSERCURDIR);
        seen->suggestion = TextOf(field);
        GetWindowRect(chooser, &seen->rect);
        GUITHREADINFO info = {sizeof info};
        GetGUIThreadInfo(mainThread, &info);
        seen->focus = info.hwndFocus;
        seen->field = field;
        SendMessageA(field, EM_GETSEL, (WPARAM)&seen->selStart, (LPARAM)&seen->selEnd);
        for (HWND c = GetWindow(chooser, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE)
                seen->visible.insert(GetDlgCtrlID(c));
        for (const Step &step : script) {
            step(chooser);
            seen->steps.push_back(TextOf(field));
        }
        PressButton(chooser, finish);
        // A chooser that refuses to close must fail the test, not hang it.
        if (!WaitUntil([&] { return !IsWindow(chooser); }, 5000)) {
            seen->stuck = true;
            seen->fileName = ItemText(chooser, IDC_CHOOSERFILENAME);
            PressButton(chooser, IDCANCEL);
        }
    });
    int result = BrowseForFolder(owner);
    driver.join();
    EXPECT_FALSE(seen->stuck) << "chooser did not close; file name box: " << seen->fileName;
    return result;
}

class Folder : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CreateDirectoryA("c:\\wiztest", nullptr);
        CreateDirectoryA("c:\\wiztest\\apps", nullptr);
        CreateDirectoryA("c:\\wiztest\\YelkStuff", nullptr);
    }
    void SetUp() override
    {
        dialog = CreateWizard();
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override { DestroyWizard(dialog); }
    HWND dialog = nullptr;
};

TEST_F(Folder, DefaultIsYelkOnTheInstallersFixedDrive)
{
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    ASSERT_EQ(GetDriveTypeA(std::string(module, 3).c_str()), (UINT)DRIVE_FIXED);
    char before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    strcpy(session.destDir, "untouched");

    InitDefaultFolder(dialog);

    std::string expected = std::string(1, (char)tolower(module[0])) + ":\\Yelk";
    EXPECT_EQ(ItemText(dialog, IDC_FOLDERTEXT), expected);
    EXPECT_STREQ(session.destDir, "untouched");
    GetCurrentDirectoryA(sizeof after, after);
    EXPECT_STREQ(after, before);
}

#ifdef YELK_DEFAULT_FOLDER_PROBE
/* The installer on a CD: the default is on the Windows folder's drive, and
   that drive becomes current. A probe program runs InitDefaultFolder from
   drive YELK_CDROM_DRIVE, which the test's setup maps as a CD-ROM. */
TEST(DefaultFolder, OnARemovableDriveMovesToTheWindowsDrive)
{
    const std::string root = std::string(YELK_CDROM_DRIVE) + "\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM)
        GTEST_SKIP() << root << " is not mapped as a CD-ROM";
    const std::string probe = root + "default_folder_probe.exe";
    const std::string out = "c:\\wiztest_probe.txt";
    ASSERT_TRUE(CopyFileA(YELK_DEFAULT_FOLDER_PROBE, probe.c_str(), FALSE)) << GetLastError();
    DeleteFileA(out.c_str());

    std::string command = "\"" + probe + "\" " + out;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, root.c_str(),
                               &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    char text[2 * MAX_PATH] = "";
    FILE *f = fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    fread(text, 1, sizeof text - 1, f);
    fclose(f);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    // "<folder text>|<drive of the current folder before>|<and after>"
    std::string expected = std::string(1, (char)tolower(windows[0])) + ":\\Yelk|" +
                           (char)toupper(root[0]) + "|" + (char)toupper(windows[0]);
    EXPECT_EQ(std::string(text), expected);
}
#endif

TEST_F(Folder, FirstBrowseStartsAtTheDriveRootAndCentresTheChooser)
{
    firstBrowse = 1;
    strcpy(session.destDir, "c:\\yelk");
    Seen seen;
    EXPECT_EQ(Browse(dialog, {}, IDCANCEL, &seen), 0);

    EXPECT_EQ(seen.currentDir, "c:\\");
    EXPECT_EQ(seen.suggestion, "c:\\yelk");
    EXPECT_EQ(firstBrowse, 0);
    // Cancelled: destDir holds the last suggestion (the caller keeps control 152).
    EXPECT_STREQ(session.destDir, "c:\\yelk");

    // The caret after the suggestion, in the focused folder field.
    EXPECT_EQ(seen.focus, seen.field);
    EXPECT_EQ(seen.selStart, 7u);
    EXPECT_EQ(seen.selEnd, 7u);
    // Only the folder field, the folder and drive lists with their labels, OK
    // and Cancel are in view.
    EXPECT_EQ(seen.visible, (std::set<int>{0xFFFF, IDC_CHOOSERFOLDER, IDC_CHOOSERDIRLIST, IDC_CHOOSERDRVLABEL,
                                           IDC_CHOOSERDRIVES, IDC_CHOOSERDIRLABEL, IDOK, IDCANCEL}));
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    int w = seen.rect.right - seen.rect.left, h = seen.rect.bottom - seen.rect.top;
    EXPECT_EQ(seen.rect.left, desktop.right / 2 - w / 2);
    EXPECT_EQ(seen.rect.top, desktop.bottom / 2 - h / 2);
}

TEST_F(Folder, LaterBrowsesStartInTheWholeFolder)
{
    firstBrowse = 0;
    strcpy(session.destDir, "c:\\wiztest\\apps");
    Seen seen;
    EXPECT_EQ(Browse(dialog, {}, IDCANCEL, &seen), 0);
    EXPECT_EQ(seen.currentDir, "c:\\wiztest\\apps");
    EXPECT_EQ(seen.suggestion, "c:\\wiztest\\apps\\yelk");
    EXPECT_STREQ(session.destDir, "c:\\wiztest\\apps\\yelk");
}

TEST_F(Folder, NavigationReplacesTheSuggestionAndTypedText)
{
    firstBrowse = 0;
    strcpy(session.destDir, "c:\\wiztest");
    auto type = [](const char *text) {
        return [text](HWND chooser) { SetDlgItemTextA(chooser, IDC_CHOOSERFOLDER, text); };
    };
    auto open = [](const char *name, const char *expectedDir) {
        return [name, expectedDir](HWND chooser) {
            FolderList(chooser, name, LBN_DBLCLK);
            WaitUntil([&] { return ItemText(chooser, IDC_CHOOSERCURDIR) == expectedDir; });
        };
    };
    auto select = [](const char *name) { return [name](HWND chooser) { FolderList(chooser, name, LBN_SELCHANGE); }; };
    Seen seen;
    int result = Browse(dialog,
                        {
                            type("d:\\typed"),
                            open("apps", "c:\\wiztest\\apps"),
                            open("..", "c:\\wiztest"),
                            type("d:\\typed again"),
                            select("apps"),
                            open("yelkstuff", "c:\\wiztest\\yelkstuff"),
                        },
                        IDOK, &seen);
    EXPECT_EQ(seen.suggestion, "c:\\wiztest\\yelk");
    ASSERT_EQ(seen.steps.size(), 6u);
    EXPECT_EQ(seen.steps[0], "d:\\typed");
    EXPECT_EQ(seen.steps[1], "c:\\wiztest\\apps\\yelk");
    EXPECT_EQ(seen.steps[2], "c:\\wiztest\\yelk");
    EXPECT_EQ(seen.steps[3], "d:\\typed again");
    EXPECT_EQ(seen.steps[4], "c:\\wiztest\\yelk");   // a click in the list: typed text gone
    EXPECT_EQ(seen.steps[5], "c:\\wiztest\\yelkstuff");   // already a yelk folder
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(session.destDir, "c:\\wiztest\\yelkstuff");
}

TEST_F(Folder, OkGivesExactlyWhatWasTyped)
{
    const std::string long299 = "c:\\" + std::string(296, 'L');
    struct Case {
        std::string typed, chosen;
    };
    const Case cases[] = {
        {"C:\\Some Where\\Typed", "C:\\Some Where\\Typed"},
        {long299, long299},
        {long299 + "overflow", long299},
    };
    for (const Case &c : cases) {
        firstBrowse = 0;
        strcpy(session.destDir, "c:\\wiztest");
        std::string typed = c.typed;
        Seen seen;
        int result = Browse(dialog, {[&](HWND chooser) { SetDlgItemTextA(chooser, IDC_CHOOSERFOLDER, typed.c_str()); }},
                            IDOK, &seen);
        EXPECT_EQ(result, 1) << c.typed.size();
        EXPECT_EQ(std::string(session.destDir), c.chosen) << c.typed.size();
    }
}

/* A plain window with the two controls SuggestFolder works on. */
class Suggest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 300, 20, window, (HMENU)IDC_CHOOSERCURDIR,
                        GetModuleHandleA(nullptr), nullptr);
        CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 30, 300, 20, window,
                        (HMENU)IDC_CHOOSERFOLDER, GetModuleHandleA(nullptr), nullptr);
        session.appInstance = GetModuleHandleA(nullptr);
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
};

TEST_F(Suggest, FollowsTheCurrentFolder)
{
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    PathParts parts;
    SplitPath(module, &parts);
    const std::string beside = std::string(parts.drive) + parts.dir + "yelk";
    struct Case {
        std::string current, suggestion;
    };
    const Case cases[] = {
        {"", beside},
        {"C:\\Program Files", "c:\\program files\\yelk"},
        {"C:\\YELK\\Old", "c:\\yelk\\old"},
        {"c:\\", "c:\\yelk"},
        {"c:\\" + std::string(291, 'a'), "c:\\" + std::string(291, 'a') + "\\yelk"},
        {"c:\\" + std::string(292, 'a'), ""},   // "\yelk" would not fit: no suggestion
    };
    for (const Case &c : cases) {
        strcpy(session.destDir, "previous");
        SetDlgItemTextA(window, IDC_CHOOSERFOLDER, "previous");
        SetDlgItemTextA(window, IDC_CHOOSERCURDIR, c.current.c_str());
        SuggestFolder(window);
        EXPECT_EQ(ItemText(window, IDC_CHOOSERFOLDER), c.suggestion) << c.current;
        EXPECT_EQ(std::string(session.destDir), c.suggestion) << c.current;
    }
}

/* ---- CreateDestDir ---- */

struct BoxSeen {
    std::string caption, text;
};

/* Runs call() while a second thread answers the first error box with OK. */
int WithErrorBox(const std::function<int()> &call, BoxSeen *box)
{
    std::atomic<bool> done(false);
    std::thread answer([&] {
        HWND found = nullptr;
        WaitUntil([&] {
            if (done)
                return true;
            found = FindWindowA("#32770", "Yelk Installation Error [1]");
            return found != nullptr && IsWindowVisible(found);
        });
        if (!found || done)
            return;
        box->caption = TextOf(found);
        box->text = ItemText(found, 0xFFFF);
        PressButton(found, IDOK);
    });
    int result = call();
    done = true;
    answer.join();
    return result;
}

TEST_F(Folder, CreateDestDirMakesOneLevelOrReportsError1)
{
    CreateDirectoryA("c:\\wiztest\\existing", nullptr);
    HANDLE f = CreateFileA("c:\\wiztest\\afile", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
    RemoveDirectoryA("c:\\wiztest\\new");
    /* Everything composed from the folder must fit 259 characters; the
       uninstall command adds the most, 24. */
    const std::string longest = "c:\\wiztest\\" + std::string(224, 'l');
    const std::string tooLong = longest + "l";
    RemoveDirectoryA(longest.c_str());

    struct Case {
        const char *dir;
        int createdBefore;
        int result, createdAfter;
        DWORD attributesAfter;
        const char *what;
    };
    const Case cases[] = {
        {"c:\\wiztest\\existing", 0, 1, 0, FILE_ATTRIBUTE_DIRECTORY, "existing folder, flag left as it was"},
        {"c:\\wiztest\\existing", 1, 1, 1, FILE_ATTRIBUTE_DIRECTORY, "existing folder, flag left set"},
        {"c:\\wiztest\\afile", 0, 2, 0, FILE_ATTRIBUTE_ARCHIVE, "a file of that name: error [1], nothing made"},
        /* The system answers for a device name with the device: no folder. */
        {"c:\\wiztest\\nul", 0, 2, 0, FILE_ATTRIBUTE_ARCHIVE, "a device name: error [1]"},
        {"c:\\wiztest\\com1.txt", 0, 2, 0, FILE_ATTRIBUTE_ARCHIVE, "a device name with an extension: error [1]"},
        {"c:\\wiztest\\yelk.", 0, 2, 0, INVALID_FILE_ATTRIBUTES, "a name ending in a dot: error [1]"},
        {"c:\\wiztest\\yelk ", 0, 2, 0, INVALID_FILE_ATTRIBUTES, "a name ending in a space: error [1]"},
        {"c:\\wiztest\\new", 0, 1, 1, FILE_ATTRIBUTE_DIRECTORY, "made"},
        {"c:\\wiztest\\missing\\child", 0, 2, 0, INVALID_FILE_ATTRIBUTES, "parent missing: error [1]"},
        {"RelYelk", 0, 2, 0, INVALID_FILE_ATTRIBUTES, "relative: error [1], nothing made"},
        {longest.c_str(), 0, 1, 1, FILE_ATTRIBUTE_DIRECTORY, "235 characters: made"},
        {tooLong.c_str(), 0, 2, 0, INVALID_FILE_ATTRIBUTES, "236 characters: error [1], nothing made"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        strcpy(session.destDir, c.dir);
        session.createdDestDir = c.createdBefore;
        BoxSeen box;
        int result = WithErrorBox(CreateDestDir, &box);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(session.createdDestDir, c.createdAfter);
        DWORD attributes = GetFileAttributesA(c.dir);
        if (c.attributesAfter == INVALID_FILE_ATTRIBUTES)
            EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
        else
            EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, c.attributesAfter & FILE_ATTRIBUTE_DIRECTORY);
        if (c.result == 2) {
            EXPECT_EQ(box.caption, "Yelk Installation Error [1]");
            EXPECT_EQ(box.text,
                      "There seems to be a problem creating the directory you specified.\n\n"
                      "Please try using a different directory name!");
        } else {
            EXPECT_EQ(box.caption, "");
        }
    }
    EXPECT_EQ(GetFileAttributesA("c:\\wiztest\\missing"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
