/*
 * The wizard's templates and pages under Wine: the compiled templates against
 * their control tables, the layout of the five groups on the real INSTALL_DLG,
 * every page of the page table, the texts, and the centring of windows.
 */
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "tests/win32/wizard_dialog.h"

using namespace wizardtest;

namespace {

/* ---- Reading a DLGTEMPLATE ---- */

struct TemplateItem {
    int id;
    std::string cls;
    DWORD style;
    int x, y, w, h;
    std::string text;
};

struct Template {
    DWORD style;
    int x, y, w, h;
    std::string caption, font;
    int points;
    std::vector<TemplateItem> items;
};

/* A template string: 0xFFFF and an ordinal, or UTF-16 up to its zero. */
std::string ReadSz(const WORD *&p)
{
    static const char *const kAtoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (*p == 0xFFFF) {
        WORD atom = p[1];
        p += 2;
        return atom >= 0x80 && atom <= 0x85 ? kAtoms[atom - 0x80] : "#" + std::to_string(atom);
    }
    std::string s;
    while (*p)
        s += (char)*p++;
    p++;
    return s;
}

Template LoadTemplate(LPCSTR name)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name, (LPCSTR)RT_DIALOG);
    const DLGTEMPLATE *t = (const DLGTEMPLATE *)LockResource(LoadResource(module, found));
    Template out = {};
    if (!t)
        return out;
    out.style = t->style;
    out.x = t->x, out.y = t->y, out.w = t->cx, out.h = t->cy;
    const WORD *p = (const WORD *)(t + 1);
    ReadSz(p);   // menu
    ReadSz(p);   // class
    out.caption = ReadSz(p);
    if (t->style & DS_SETFONT) {
        out.points = *p++;
        out.font = ReadSz(p);
    }
    for (int i = 0; i < t->cdit; i++) {
        p = (const WORD *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)p;
        p = (const WORD *)(item + 1);
        TemplateItem it;
        it.id = (short)item->id;
        it.style = item->style;
        it.x = item->x, it.y = item->y, it.w = item->cx, it.h = item->cy;
        it.cls = ReadSz(p);
        it.text = ReadSz(p);
        WORD extra = *p++;
        p = (const WORD *)((const BYTE *)p + extra);
        out.items.push_back(it);
    }
    return out;
}

const DWORD kStatic = WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP;
const DWORD kCheck = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD kPush = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP;
const DWORD kFrame = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;

void ExpectItems(const Template &t, const std::vector<TemplateItem> &expected)
{
    ASSERT_EQ(t.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const TemplateItem &a = t.items[i], &e = expected[i];
        SCOPED_TRACE("item " + std::to_string(i) + " id " + std::to_string(e.id));
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.cls, e.cls);
        EXPECT_EQ(a.style, e.style) << std::hex << a.style << " " << e.style;
        EXPECT_EQ(a.x, e.x);
        EXPECT_EQ(a.y, e.y);
        EXPECT_EQ(a.w, e.w);
        EXPECT_EQ(a.h, e.h);
        EXPECT_EQ(a.text, e.text);
    }
}

TEST(Templates, InstallDialogHasEveryControlInOrder)
{
    Template t = LoadTemplate("INSTALL_DLG");
    EXPECT_EQ(t.style, (DWORD)(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                               DS_SETFONT | DS_3DLOOK));
    EXPECT_EQ(t.x, 33);
    EXPECT_EQ(t.y, 26);
    EXPECT_EQ(t.w, 222);
    EXPECT_EQ(t.h, 183);
    EXPECT_EQ(t.caption, "Yelk Installer");
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.points, 8);
    ExpectItems(t, {
        {180, "STATIC", kStatic, 13, 862, 126, 11, "Installation of Yelk was successful!"},
        {181, "STATIC", kStatic, 13, 881, 181, 18,
         "After you close this window, you can run Yelk, connect to the internet, and start chatting!"},
        {182, "STATIC", kStatic, 13, 907, 185, 27,
         "If you are new to Yelk, you might want to read the first few sections of the Yelk help file "
         "before you start. The sections are short and give a good general introduction."},
        {183, "BUTTON", kCheck, 22, 938, 81, 12, "&Read Yelk Help file"},
        {184, "BUTTON", kCheck, 22, 952, 81, 12, "&Launch Yelk"},
        {185, "STATIC", kStatic, 13, 973, 186, 11, "To end the installation, please click the Finish button."},
        {120, "STATIC", WS_CHILD | SS_LEFT | WS_DISABLED | WS_BORDER, 187, 10, 21, 20, ""},
        {121, "BUTTON", kPush, 83, 162, 40, 16, "< &Back"},
        {1, "BUTTON", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 127, 162, 40, 16, "&Next >"},
        {2, "BUTTON", kPush, 174, 162, 40, 16, "Cancel"},
        {130, "STATIC", kStatic, 13, 233, 144, 27,
         "Welcome to the Yelk installation program! This program will install Yelk on your computer."},
        {131, "STATIC", kStatic, 13, 267, 194, 19,
         "If you have a previous copy of Yelk installed, please make sure that it is not running during "
         "the installation."},
        {132, "STATIC", kStatic, 13, 294, 196, 20,
         "It is also advised that you close all other applications before installing Yelk."},
        {140, "STATIC", kStatic, 13, 361, 166, 28,
         "Please read the following license agreement before installing Yelk. You can scroll down to "
         "view the rest of the agreement."},
        {141, "EDIT",
         WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER |
             WS_TABSTOP,
         11, 390, 201, 93, ""},
        {142, "STATIC", kStatic, 13, 487, 187, 20,
         "Do you accept the terms of this license agreement? If you do, please click the Yes button, "
         "otherwise click No."},
        {150, "STATIC", kStatic, 13, 565, 172, 10, "Yelk will be installed into the folder shown below."},
        {151, "STATIC", kStatic, 13, 581, 169, 19,
         "If you would like to install Yelk into a different folder, click on browse and select a new "
         "folder."},
        {154, "BUTTON", kFrame, 11, 603, 200, 27, "Destination folder:"},
        {152, "STATIC", kStatic, 17, 615, 156, 9, ""},
        {153, "BUTTON", kPush, 175, 612, 32, 14, "&Browse"},
        {155, "STATIC", kStatic, 13, 637, 150, 10, "Select install options:"},
        {156, "BUTTON", kCheck, 32, 649, 147, 12, "&Make Backups of any existing Yelk files"},
        {157, "BUTTON", kCheck, 32, 662, 181, 12, "&Keep your existing Yelk settings and ini files"},
        {158, "BUTTON", kCheck, 32, 675, 105, 12, "&Create Yelk Shortcut icons"},
        {159, "STATIC", kStatic, 22, 692, 173, 17,
         "To install Yelk, please click the Install button, or click the Cancel button to exit."},
        {170, "STATIC", kStatic, 47, 759, 102, 10, "Scanning..."},
        {171, "BUTTON", kFrame, 44, 770, 107, 3, ""},
        {172, "STATIC", kStatic, 47, 776, 72, 10, "Install Progress:"},
        {173, "BUTTON", kFrame, 44, 786, 107, 18, ""},
        {133, "STATIC", kStatic, 13, 321, 186, 11, "To continue, please click the Next button."},
    });
}

TEST(Templates, FolderChooserHasEveryControlInOrder)
{
    Template t = LoadTemplate(MAKEINTRESOURCEA(IDD_FOLDERCHOOSER));
    EXPECT_EQ(t.style, (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK));
    EXPECT_EQ(t.x, 79);
    EXPECT_EQ(t.y, 39);
    EXPECT_EQ(t.w, 170);
    EXPECT_EQ(t.h, 163);
    EXPECT_EQ(t.caption, "Yelk Select Folder");
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.points, 8);
    const DWORD list = WS_CHILD | LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                       LBS_DISABLENOSCROLL | WS_VSCROLL | WS_BORDER;
    ExpectItems(t, {
        {-1, "STATIC", kStatic, 8, 6, 103, 9, "&Install Yelk into this folder:"},
        {102, "EDIT", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 6, 17, 159, 12, ""},
        {1121, "LISTBOX", list | WS_VISIBLE | WS_TABSTOP, 6, 47, 112, 86, ""},
        {1091, "STATIC", kStatic, 8, 132, 37, 9, "Dri&ves:"},
        {1137, "COMBOBOX",
         WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_AUTOHSCROLL | CBS_SORT |
             CBS_HASSTRINGS | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
         6, 142, 112, 60, ""},
        {1040, "BUTTON", WS_CHILD | BS_AUTOCHECKBOX | WS_GROUP | WS_DISABLED, 294, 28, 50, 12, "&Read Only"},
        {1038, "BUTTON", WS_CHILD | BS_PUSHBUTTON | WS_GROUP | WS_DISABLED, 295, 50, 50, 14, "&Help"},
        {1090, "STATIC", kStatic, 8, 35, 51, 10, "&Folders:"},
        {1152, "EDIT", WS_CHILD | WS_DISABLED | WS_BORDER | ES_AUTOHSCROLL | ES_OEMCONVERT, 290, 77, 77, 12,
         "JUNK!"},
        {1120, "LISTBOX", list | WS_DISABLED, 288, 99, 81, 66, ""},
        {1089, "STATIC", WS_CHILD | SS_LEFT | WS_GROUP | WS_DISABLED, 288, 167, 69, 9, "List Files of &Type:"},
        {1136, "COMBOBOX", WS_CHILD | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL | WS_BORDER | WS_DISABLED,
         288, 177, 82, 32, ""},
        {1088, "EDIT", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, -78, 252, 516, 12, ""},
        {1, "BUTTON", kPush, 125, 48, 40, 16, "OK"},
        {2, "BUTTON", kPush, 125, 69, 40, 16, "Cancel"},
    });
}

/* ---- The real dialog ---- */

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = CreateWizard();
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override { DestroyWizard(dialog); }
    HWND dialog = nullptr;
};

const int kGroupBases[] = {IDC_WELCOME, IDC_LICENCEINTRO, IDC_FOLDERINTRO, IDC_STATUS, IDC_DONE1};
const std::map<int, std::vector<int>> kGroupMembers = {
    {130, {130, 131, 132, 133}},
    {140, {140, 141, 142}},
    {150, {150, 151, 152, 153, 154, 155, 156, 157, 158, 159}},
    {170, {170, 171, 172, 173}},
    {180, {180, 181, 182, 183, 184, 185}},
};

TEST_F(Wizard, LayoutShowsOnlyTheWelcomePage)
{
    EXPECT_EQ(session.page, 0);
    EXPECT_EQ(VisibleIds(dialog), (std::set<int>{1, 2, 130, 131, 132, 133}));
}

TEST_F(Wizard, LayoutPutsEachGroupOnItsPagePlace)
{
    struct Place {
        int base, x, y;
    };
    for (Place p : {Place{130, 20, 24}, Place{140, 20, 20}, Place{150, 20, 20}, Place{180, 20, 30}}) {
        RECT r = ClientRect(dialog, p.base);
        EXPECT_EQ(r.left, p.x) << p.base;
        EXPECT_EQ(r.top, p.y) << p.base;
    }
    // The progress group: centred by its own width, level with option 156.
    RECT client;
    GetClientRect(dialog, &client);
    RECT status = ClientRect(dialog, IDC_STATUS);
    EXPECT_EQ(status.left, client.right / 2 - (status.right - status.left) / 2);
    EXPECT_EQ(status.top, ClientRect(dialog, IDC_MAKEBACKUPS).top);
    EXPECT_GT(status.top, 0);
    EXPECT_LT(status.top, client.bottom);
}

TEST_F(Wizard, LayoutKeepsEveryMembersOffsetFromItsBase)
{
    // Where the dialog manager first put each control, from the template.
    std::map<int, RECT> original;
    for (const TemplateItem &item : LoadTemplate("INSTALL_DLG").items) {
        // Position and size each scaled on their own, as the dialog manager does.
        RECT r = {item.x, item.y, item.w, item.h};
        MapDialogRect(dialog, &r);
        original[item.id] = {r.left, r.top, r.left + r.right, r.top + r.bottom};
    }
    for (const auto &group : kGroupMembers) {
        RECT base = ClientRect(dialog, group.first);
        for (int id : group.second) {
            RECT r = ClientRect(dialog, id);
            EXPECT_EQ(r.left - base.left, original[id].left - original[group.first].left) << id;
            EXPECT_EQ(r.top - base.top, original[id].top - original[group.first].top) << id;
            EXPECT_EQ(r.right - r.left, original[id].right - original[id].left) << id;
            EXPECT_EQ(r.bottom - r.top, original[id].bottom - original[id].top) << id;
        }
    }
    // Every page's controls fit in the client area.
    RECT client;
    GetClientRect(dialog, &client);
    for (const auto &group : kGroupMembers)
        for (int id : group.second) {
            RECT r = ClientRect(dialog, id);
            EXPECT_GE(r.left, 0) << id;
            EXPECT_LE(r.right, client.right) << id;
            EXPECT_LE(r.bottom, ClientRect(dialog, IDC_BUTTON2).top) << id;
        }
}

TEST_F(Wizard, GroupsRunUpToTheFirstMissingId)
{
    for (int base : kGroupBases)
        ShowGroup(dialog, base, 0);
    ShowGroup(dialog, IDC_FOLDERINTRO, 1);   // 150 to 159: there is no 160
    std::set<int> shown = VisibleIds(dialog);
    shown.erase(1), shown.erase(2);
    EXPECT_EQ(shown, (std::set<int>{150, 151, 152, 153, 154, 155, 156, 157, 158, 159}));

    ShowGroup(dialog, IDC_FOLDERINTRO, 0);
    ShowGroup(dialog, IDC_STATUS, 1);        // the bar frames are never shown
    shown = VisibleIds(dialog);
    shown.erase(1), shown.erase(2);
    EXPECT_EQ(shown, (std::set<int>{170, 172}));

    // A base without a control moves nothing.
    RECT before = ClientRect(dialog, IDC_BACK);
    StackGroup(dialog, IDC_BACK + 1);
    StackGroup(dialog, 160);
    RECT after = ClientRect(dialog, IDC_BACK);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
}

struct PageRow {
    int page;
    std::set<int> visible;
    std::set<int> disabledButVisible;
    const char *button1, *button2;
    int focus;
};

TEST_F(Wizard, EveryPageShowsItsControlsButtonsAndFocus)
{
    const PageRow rows[] = {
        {1, {1, 2, 140, 141, 142}, {}, "&Yes", "&No", IDC_LICENCETEXT},
        {2, {1, 2, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159}, {}, "&Install", "Cancel", IDC_BUTTON1},
        {3, {1, 2, 150, 151, 152, 153, 154, 170, 172}, {1, 153}, "&Install", "Abort", IDC_BUTTON2},
        {4, {2, 180, 181, 182, 183, 184, 185}, {}, "&Install", "&Finish", IDC_BUTTON2},
        {2, {1, 2, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159}, {}, "&Install", "Cancel", IDC_BUTTON1},
        {3, {1, 2, 150, 151, 152, 153, 154, 170, 172}, {1, 153}, "&Install", "Abort", IDC_BUTTON2},
        {0, {1, 2, 130, 131, 132, 133}, {}, "&Next >", "Cancel", IDC_BUTTON1},
    };
    for (const PageRow &row : rows) {
        SCOPED_TRACE("page " + std::to_string(row.page));
        session.overallFill = 77;
        SetDlgItemTextA(dialog, IDC_STATUS, "Copying yelk32.exe...");

        SetPage(dialog, (WizardPage)row.page);
        Pump();

        EXPECT_EQ(session.page, row.page);
        EXPECT_EQ(session.overallFill, 0);
        EXPECT_EQ(ItemText(dialog, IDC_STATUS), "Scanning files...");
        EXPECT_EQ(VisibleIds(dialog), row.visible);
        // Visible controls are enabled unless listed; hidden ones are disabled,
        // but for the bar frames, which no page touches.
        std::set<int> enabled = {IDC_FILEBAR, IDC_OVERALLBAR};
        for (int id : row.visible)
            if (!row.disabledButVisible.count(id))
                enabled.insert(id);
        EXPECT_EQ(EnabledIds(dialog), enabled);
        EXPECT_EQ(ItemText(dialog, IDC_BUTTON1), row.button1);
        EXPECT_EQ(ItemText(dialog, IDC_BUTTON2), row.button2);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, row.focus));
    }
}

TEST_F(Wizard, InvalidateControlMarksTheAreaUnderTheControl)
{
    SetPage(dialog, kPageProgress);
    Pump();
    ValidateRect(dialog, nullptr);
    InvalidateControl(dialog, IDC_OVERALLBAR);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(dialog, &update, FALSE));
    RECT bar = ClientRect(dialog, IDC_OVERALLBAR);
    EXPECT_TRUE(EqualRect(&update, &bar));
}

/* ---- Texts ---- */

std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(Wizard, TextsCarryTheVersionAndTheLicenceUpToItsEndMark)
{
    EXPECT_EQ(TextOf(dialog), "Yelk v5.9 32bit Installation");
    EXPECT_EQ(ItemText(dialog, IDC_WELCOME),
              "Welcome to the Yelk installation program! This program will install Yelk v5.9 32bit "
              "on your computer.");
    std::string licence = ReadFile(YELK_LICENCE_FILE);
    ASSERT_NE(licence.find("***"), std::string::npos);
    ASSERT_LT(licence.find("***"), 2900u);
    EXPECT_EQ(ItemText(dialog, IDC_LICENCETEXT), licence.substr(0, licence.find("***")));
}

struct LicenceCase {
    const char *module;
    std::string shown;
    const char *what;
};

TEST_F(Wizard, LicenceVariants)
{
    const std::string longText = ReadFile(YELK_LICENCE_LONG_TXT);
    ASSERT_GT(longText.size(), 2900u);
    const LicenceCase cases[] = {
        {YELK_LICENCE_LONG_DLL, longText.substr(0, 2900), "longer than 2900 bytes, end mark later"},
        {YELK_LICENCE_STARS_DLL, std::string(100, 's'), "end mark at byte 100"},
        {YELK_LICENCE_NONE_DLL, "", "no licence resource"},
    };
    for (const LicenceCase &c : cases) {
        HMODULE module = LoadLibraryExA(c.module, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << c.module;
        SetDlgItemTextA(dialog, IDC_LICENCETEXT, "");
        session.appInstance = module;
        InitWizardTexts(dialog);
        session.appInstance = GetModuleHandleA(nullptr);
        EXPECT_EQ(ItemText(dialog, IDC_LICENCETEXT), c.shown) << c.what;
        FreeLibrary(module);
    }
}

/* ---- Centring ---- */

TEST(CenterWindowTest, CentresOnTheDesktopWithinItsMargins)
{
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    if (desktop.right != 1024 || desktop.bottom != 768)
        GTEST_SKIP() << "needs the tests' 1024x768 display";
    struct Case {
        int w, h, x, y;
        const char *what;
    };
    const Case cases[] = {
        {301, 201, 362, 284, "centred, each half truncated"},
        {1010, 100, 4, 334, "10 pixels clear of the right edge"},
        {100, 760, 462, 1, "pulled above the top: 1"},
        {1200, 900, 1, 1, "larger than the desktop"},
    };
    for (const Case &c : cases) {
        HWND w = CreateWindowExA(0, "STATIC", "centre me", WS_POPUP, 5, 5, c.w, c.h, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(w, nullptr);
        CenterWindow(w);
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(r.left, c.x) << c.what;
        EXPECT_EQ(r.top, c.y) << c.what;
        EXPECT_EQ(r.right - r.left, c.w) << c.what;
        EXPECT_EQ(r.bottom - r.top, c.h) << c.what;
        DestroyWindow(w);
    }
}

}  // namespace
