/*
 * InstallDlgProc on the real INSTALL_DLG under Wine, driven from a second
 * thread as a user would. A test message puts the run into a chosen state
 * (page, open installer stream, options), since this program carries no
 * payload of its own to pass the integrity check with.
 */
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/ids.h"
#include "common/messages.h"
#include "common/session.h"
#include "payload/extract.h"
#include "payload/marker.h"
#include "tests/win32/drive.h"
#include "wizard/dialog.h"
#include "wizard/wizard.h"

#ifndef YELK_PAYLOAD_FILE
#error YELK_PAYLOAD_FILE must name the packed payload
#endif

/* This program never opens itself as an installer. */
uint32_t ExpectedPayloadCrc()
{
    return 0;
}

namespace {

const char *const kMembers[kMemberCount] = {"yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt",
                                            "history.txt", "yelk.ini", "macros.ini", "menus.ini",
                                            "hosts.ini", "marks.ini"};

/* The state a test puts the wizard in, on the wizard's own thread. */
struct Prepare {
    int page;
    const char *stream;     /* opened as the installer file, or nullptr */
    const char *destDir;
    int createShortcuts;
    int createdDestDir;
    int abortRequested;
    int abortAfterPumps;    /* press Abort right after this many pumps, 0: never */
    const char *hold;       /* after them, hold this file open (no delete sharing) */
    int abortWhenHeld;      /* and press Abort as well */
};
const UINT kPrepare = WM_APP + 1;
const UINT kRepaint = WM_APP + 2;   /* repaint everything now, on the wizard's thread */
int pumpsLeft;                      /* pumps until Abort is pressed; 0: not asked */
const char *holdPath;               /* held open instead of pressing Abort */
int abortWhenHeld;                  /* Abort is pressed as well */
HANDLE held = INVALID_HANDLE_VALUE; /* the file held, as another program would */

INT_PTR CALLBACK TestDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kPrepare) {
        const Prepare *p = (const Prepare *)lParam;
        ResetInstall();
        lstrcpyA(session.destDir, p->destDir);
        session.createShortcuts = p->createShortcuts;
        SetPage(dialog, (WizardPage)p->page);
        session.createdDestDir = p->createdDestDir;
        session.abortRequested = p->abortRequested;
        if (p->stream)
            session.setupStream = fopen(p->stream, "rb");
        pumpsLeft = p->abortAfterPumps;
        holdPath = p->hold;
        abortWhenHeld = p->abortWhenHeld;
        return 1;
    }
    if (message == UM_PUMP && pumpsLeft > 0) {
        /* Abort pressed between two slices, before the re-pump tick; or a
           file the run wrote taken and held open by another program. */
        INT_PTR result = InstallDlgProc(dialog, message, wParam, lParam);
        if (--pumpsLeft == 0 && holdPath != nullptr)
            held = CreateFileA(holdPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pumpsLeft == 0 && (holdPath == nullptr || abortWhenHeld))
            PostMessageA(dialog, WM_COMMAND, IDC_BUTTON2, 0);
        return result;
    }
    if (message == kRepaint) {
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 1;
    }
    return InstallDlgProc(dialog, message, wParam, lParam);
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveInstalled(const std::string &folder)
{
    for (const char *name : kMembers)
        DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session = InstallSession();
        session.appInstance = GetModuleHandleA(nullptr);
        WNDCLASSA mainClass = {};
        mainClass.lpfnWndProc = DefWindowProcA;
        mainClass.hInstance = (HINSTANCE)session.appInstance;
        mainClass.lpszClassName = "YelkTestMain";
        RegisterClassA(&mainClass);
        mainWindow = CreateWindowA("YelkTestMain", "main", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   mainClass.hInstance, nullptr);
        session.mainWindow = mainWindow;
        SetCurrentDirectoryA("c:\\");
    }
    void TearDown() override
    {
        if (session.setupStream)
            fclose(session.setupStream);
        session.setupStream = nullptr;
        DestroyWindow(mainWindow);
    }

    /* Runs the wizard modally with script on a second thread; the end code. */
    template <typename Script>
    INT_PTR Run(Script script)
    {
        std::thread driver([&] {
            HWND dialog = drive::WaitDialog(drive::kWizardCaption);
            if (dialog == nullptr) {
                ADD_FAILURE() << "the wizard did not appear";
                return;
            }
            drive::WaitPage(dialog, 0);
            script(dialog);
        });
        INT_PTR result = DialogBoxParamA((HINSTANCE)session.appInstance, "INSTALL_DLG", mainWindow,
                                         TestDlgProc, 0);
        driver.join();
        return result;
    }

    static void Put(HWND dialog, const Prepare &prepare)
    {
        SendMessageA(dialog, kPrepare, 0, (LPARAM)&prepare);
    }

    HWND mainWindow = nullptr;
};

TEST_F(DialogTest, ScanWithoutMemberIsErrorFourteen)
{
    const char *file = "c:\\nomarker.bin";
    FILE *f = fopen(file, "wb");
    fputs("no member marker in here", f);
    fclose(f);
    CreateDirectoryA("c:\\dlg14", nullptr);

    drive::Box box;
    HWND seenDialog = nullptr;
    INT_PTR result = Run([&](HWND dialog) {
        seenDialog = dialog;
        Put(dialog, {3, file, "c:\\dlg14", 1, 1, 0});
        PostMessageA(dialog, UM_PUMP, 0, 0);
        box = drive::Answer("Yelk Installation Error [14]", IDOK);
    });
    EXPECT_EQ(0, result);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(ErrorText(14), box.text);
    EXPECT_EQ(seenDialog, box.owner);
    EXPECT_EQ(nullptr, session.setupStream);
    EXPECT_FALSE(Exists("c:\\dlg14")) << "the folder this run created stays";
    EXPECT_EQ(0, session.installDone);
}

TEST_F(DialogTest, PumpIgnoredWithoutFileOrWhileAborting)
{
    long position = -1;
    int pageAfterTicks = -1;
    INT_PTR result = Run([&](HWND dialog) {
        /* A tick that outlives its run: no installer file open. */
        Put(dialog, {2, nullptr, "c:\\dlglate", 1, 0, 0});
        PostMessageA(dialog, WM_TIMER, IDT_PUMP, 0);
        PostMessageA(dialog, UM_PUMP, 0, 0);
        Sleep(300);
        pageAfterTicks = drive::VisiblePage(dialog);

        /* The abort question is open: the file is not read. */
        Put(dialog, {3, YELK_PAYLOAD_FILE, "c:\\dlglate", 0, 0, 1});
        PostMessageA(dialog, UM_PUMP, 0, 0);
        Sleep(300);
        position = ftell(session.setupStream);
        fclose(session.setupStream);
        session.setupStream = nullptr;
        drive::Press(dialog, IDC_BUTTON2);
    });
    EXPECT_EQ(2, pageAfterTicks);
    EXPECT_EQ(0, position);
    EXPECT_EQ(nullptr, drive::FindDialog("Yelk Installation Error [14]"));
    EXPECT_FALSE(Exists("c:\\dlglate\\yelk32.exe"));
    EXPECT_EQ(0, result);
}

TEST_F(DialogTest, CloseOrButtonTwoEndsEarlyPagesAtOnce)
{
    struct Row {
        int page;
        bool close;   /* the close box, else button 2 */
    } rows[] = {{0, true}, {1, true}, {2, true}, {0, false}, {1, false}, {2, false}};
    for (const Row &r : rows) {
        session.abortRequested = 0;
        INT_PTR result = Run([&](HWND dialog) {
            Put(dialog, {r.page, nullptr, "", 1, 0, 0});
            r.close ? drive::Close(dialog) : drive::Press(dialog, IDC_BUTTON2);
        });
        EXPECT_EQ(0, result) << r.page;
        EXPECT_EQ(1, session.abortRequested) << r.page;
        EXPECT_EQ(0, session.installDone) << r.page;
        EXPECT_EQ(nullptr, drive::FindDialog("Yelk Installation Warning"));
    }
}

TEST_F(DialogTest, FinishReadsBothOptions)
{
    struct Row {
        bool help, launch, close;
    } rows[] = {{true, false, true}, {false, true, false}, {false, false, false}, {true, true, true}};
    for (const Row &r : rows) {
        session.installDone = 0;
        INT_PTR result = Run([&](HWND dialog) {
            Put(dialog, {4, nullptr, "c:\\dlgfin", 1, 0, 0});
            drive::SetCheck(dialog, IDC_OPENHELP, r.help);
            drive::SetCheck(dialog, IDC_LAUNCHCLIENT, r.launch);
            r.close ? drive::Close(dialog) : drive::Press(dialog, IDC_BUTTON2);
        });
        EXPECT_EQ(1, result);
        EXPECT_EQ(1, session.installDone);
        EXPECT_EQ(r.help ? 1 : 0, session.openHelp);
        EXPECT_EQ(r.launch ? 1 : 0, session.launchClient);
    }
}

TEST_F(DialogTest, GroupFailureAsksMainWindowUntilNo)
{
    /* No DDE instance: every attempt at the group fails. */
    session.ddeInstance = 0;
    drive::Box first, second;
    int pageAfter = -1;
    INT_PTR result = Run([&](HWND dialog) {
        Put(dialog, {3, YELK_PAYLOAD_FILE, "c:\\dlgpm", 1, 0, 0});
        CreateDirectoryA("c:\\dlgpm", nullptr);
        PostMessageA(dialog, UM_PUMP, 0, 0);
        first = drive::Answer("Yelk Installation Error [15]", IDYES, 30000);
        second = drive::Answer("Yelk Installation Error [15]", IDNO);
        drive::WaitPage(dialog, 4);
        pageAfter = drive::VisiblePage(dialog);
        drive::Press(dialog, IDC_BUTTON2);
    });
    ASSERT_TRUE(first.seen);
    ASSERT_TRUE(second.seen) << "Yes retries";
    EXPECT_EQ(ErrorText(15), first.text);
    EXPECT_EQ(mainWindow, first.owner);
    EXPECT_EQ(mainWindow, second.owner);
    EXPECT_EQ(4, pageAfter);
    EXPECT_EQ(1, result);
    EXPECT_EQ(1, session.installDone);
    for (const char *name : kMembers)
        EXPECT_TRUE(Exists(std::string("c:\\dlgpm\\") + name)) << name;
    RemoveInstalled("c:\\dlgpm");
}

TEST_F(DialogTest, AbortWhileGroupQuestionOpenEndsWithoutInstallDone)
{
    session.ddeInstance = 0;
    drive::Box box;
    INT_PTR result = Run([&](HWND dialog) {
        Put(dialog, {3, YELK_PAYLOAD_FILE, "c:\\dlgpm2", 1, 0, 0});
        CreateDirectoryA("c:\\dlgpm2", nullptr);
        PostMessageA(dialog, UM_PUMP, 0, 0);
        drive::WaitDialog("Yelk Installation Error [15]", 30000);
        /* The question belongs to the main window: the wizard still answers. */
        drive::Press(dialog, IDC_BUTTON2);
        Sleep(200);
        box = drive::Answer("Yelk Installation Error [15]", IDNO);
    });
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, session.installDone);
    EXPECT_TRUE(Exists("c:\\dlgpm2\\marks.ini")) << "the files stay installed";
    RemoveInstalled("c:\\dlgpm2");
}

TEST_F(DialogTest, AbortQuestionNoResumesYesCleansUp)
{
    drive::Box noBox, yesBox;
    int pageAfterNo = -1, pageAfterYes = -1;
    bool folderAfterYes = true;
    INT_PTR result = Run([&](HWND dialog) {
        /* No: the same run goes on to the finish page. */
        CreateDirectoryA("c:\\dlgab", nullptr);
        Put(dialog, {3, YELK_PAYLOAD_FILE, "c:\\dlgab", 0, 1, 0});
        drive::Press(dialog, IDC_BUTTON2);
        PostMessageA(dialog, UM_PUMP, 0, 0);
        noBox = drive::Answer("Yelk Installation Warning", IDNO);
        drive::WaitPage(dialog, 4);
        pageAfterNo = drive::VisiblePage(dialog);

        /* Yes: what this run made is removed and the options page is back. */
        RemoveInstalled("c:\\dlgab");
        CreateDirectoryA("c:\\dlgab", nullptr);
        Put(dialog, {3, YELK_PAYLOAD_FILE, "c:\\dlgab", 0, 1, 0});
        drive::Press(dialog, IDC_BUTTON2);
        yesBox = drive::Answer("Yelk Installation Warning", IDYES);
        drive::WaitPage(dialog, 2);
        pageAfterYes = drive::VisiblePage(dialog);
        folderAfterYes = Exists("c:\\dlgab");
        drive::Press(dialog, IDC_BUTTON2);
    });
    ASSERT_TRUE(noBox.seen);
    EXPECT_EQ("Are you sure you want to abort the installation?", noBox.text);
    EXPECT_NE(nullptr, noBox.owner);
    EXPECT_EQ(4, pageAfterNo);
    ASSERT_TRUE(yesBox.seen);
    EXPECT_EQ(2, pageAfterYes);
    EXPECT_FALSE(folderAfterYes);
    EXPECT_EQ(0, result);
}

/* Offsets just past each member marker of a file, in order, as the
   installer's matcher finds them. */
std::vector<long> MarkerEnds(const char *path)
{
    char marker[kMarkerLength + 1];
    BuildMarker(marker);
    MarkerMatcher matcher = StartMatcher(reinterpret_cast<const uint8_t *>(marker));
    std::vector<long> ends;
    FILE *f = fopen(path, "rb");
    long offset = 0;
    uint8_t block[512];
    size_t got;
    while (f && (got = fread(block, 1, sizeof block, f)) > 0) {
        for (size_t at = 0; at < got;) {
            MarkerRun run = MatchMarker(matcher, block + at, got - at);
            at += run.consumed;
            if (run.markerEnded)
                ends.push_back(offset + (long)at);
        }
        offset += (long)got;
    }
    if (f)
        fclose(f);
    return ends;
}

/* An installer file with zeros ahead of the payload, so that a slice ends
   right after the marker that closes member `members - 1`; the number of
   slices up to there. */
long PaddedPayload(const char *file, int members)
{
    std::vector<long> ends = MarkerEnds(YELK_PAYLOAD_FILE);
    long slices = (ends[members] + kSliceBytes - 1) / kSliceBytes;
    long padding = slices * kSliceBytes - ends[members];
    FILE *out = fopen(file, "wb");
    for (long i = 0; i < padding; i++)
        fputc(0, out);
    FILE *in = fopen(YELK_PAYLOAD_FILE, "rb");
    int c;
    while ((c = fgetc(in)) != EOF)
        fputc(c, out);
    fclose(in);
    fclose(out);
    return slices;
}

TEST_F(DialogTest, AbortMidwayRemovesWhatThisRunWrote)
{
    /* Zeros ahead of the payload put the end of a slice right after the marker
       that closes the first member: that slice writes yelk32.exe, and the
       rest of the payload is left for the next one. */
    ASSERT_GE(MarkerEnds(YELK_PAYLOAD_FILE).size(), 11u);   /* ten members and the terminator */
    const char *file = "c:\\padded.bin";
    long slices = PaddedPayload(file, 1);

    bool writtenWhenAsked = false, folderAfter = true;
    int pageAfter = -1;
    drive::Box box;
    INT_PTR result = Run([&](HWND dialog) {
        CreateDirectoryA("c:\\dlgmid", nullptr);
        Put(dialog, {3, file, "c:\\dlgmid", 0, 1, 0, (int)slices});
        PostMessageA(dialog, UM_PUMP, 0, 0);
        drive::WaitDialog("Yelk Installation Warning");
        writtenWhenAsked = Exists("c:\\dlgmid\\yelk32.exe") && !Exists("c:\\dlgmid\\yelk.hlp");
        box = drive::Answer("Yelk Installation Warning", IDYES);
        drive::WaitPage(dialog, 2);
        pageAfter = drive::VisiblePage(dialog);
        folderAfter = Exists("c:\\dlgmid");
        drive::Press(dialog, IDC_BUTTON2);
    });
    EXPECT_TRUE(box.seen);
    EXPECT_TRUE(writtenWhenAsked) << "the first member only was in place at the question";
    EXPECT_EQ(2, pageAfter);
    EXPECT_FALSE(folderAfter) << "the run's file and folder stay";
    EXPECT_EQ(0, result);
}

/* Where the earlier file of each member is now: 'p' in place, 'b' in the
   backup folder, '-' nowhere (lost). */
std::string EarlierFilesAt(const std::string &folder)
{
    std::string where;
    for (const char *name : kMembers) {
        std::string text = std::string("earlier ") + name;
        auto holds = [&](const std::string &path) {
            FILE *f = fopen(path.c_str(), "rb");
            char buffer[64] = {};
            size_t got = f ? fread(buffer, 1, sizeof buffer - 1, f) : 0;
            if (f)
                fclose(f);
            return got == text.size() && text == buffer;
        };
        where += holds(folder + "\\" + name) ? 'p' : holds(folder + "\\backup\\" + name) ? 'b' : '-';
    }
    return where;
}

/* A run over an earlier installation ends while a file it wrote is held
   open by another program, so it cannot be removed: after an abort, and
   after a member that fails ([5]), where the run is cleaned up twice. The
   wizard says the undo could not finish ([7]) and keeps the journal; every
   earlier file is in place or in the backup folder, and stays so. */
TEST_F(DialogTest, AnUndoThatCannotFinishIsSaid)
{
    struct Case {
        const char *what;
        const char *folder;
        bool failAtLast;       /* the last member differs from its record: [5] */
        std::vector<const char *> boxes;
        int pageAfter;         /* -1: the wizard ends */
    } cases[] = {
        {"abort", "c:\\dlgheld1", false, {"Yelk Installation Warning", "Yelk Installation Error [7]"}, 2},
        {"[5]", "c:\\dlgheld2", true, {"Yelk Installation Error [5]", "Yelk Installation Error [7]"}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string folder = c.folder;
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const char *name : kMembers) {
            FILE *f = fopen((folder + "\\" + name).c_str(), "wb");
            fprintf(f, "earlier %s", name);
            fclose(f);
        }
        long slices = PaddedPayload("c:\\held.bin", 2);
        std::string hold = folder + "\\yelk.hlp";
        session.makeBackups = 1;
        session.keepSettings = 0;
        memset(memberChecks, 0, sizeof memberChecks);
        if (c.failAtLast)
            memberChecks[9] = {1, 0};
        std::vector<drive::Box> boxes;
        int pageAfter = -2;
        std::string whereAtTheBoxes;
        INT_PTR result = Run([&](HWND dialog) {
            Put(dialog, {3, "c:\\held.bin", c.folder, 0, 0, 0, (int)slices, hold.c_str(), !c.failAtLast});
            PostMessageA(dialog, UM_PUMP, 0, 0);
            for (size_t k = 0; k < c.boxes.size(); k++) {
                if (k == c.boxes.size() - 1)
                    whereAtTheBoxes = EarlierFilesAt(folder);
                boxes.push_back(drive::Answer(c.boxes[k], k == 0 && !c.failAtLast ? IDYES : IDOK));
            }
            if (c.pageAfter >= 0) {
                drive::WaitPage(dialog, c.pageAfter);
                pageAfter = drive::VisiblePage(dialog);
                drive::Press(dialog, IDC_BUTTON2);
            }
        });
        for (size_t k = 0; k < boxes.size(); k++)
            EXPECT_TRUE(boxes[k].seen) << c.boxes[k];
        if (c.pageAfter >= 0)
            EXPECT_EQ(c.pageAfter, pageAfter);
        EXPECT_EQ(0, result);
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        EXPECT_EQ(whereAtTheBoxes.find('-'), std::string::npos) << whereAtTheBoxes;
        EXPECT_EQ(EarlierFilesAt(folder).find('-'), std::string::npos) << EarlierFilesAt(folder);
        EXPECT_TRUE(Exists(folder + "\\yelkundo.jnl")) << "kept for the next run";
        memset(memberChecks, 0, sizeof memberChecks);
    }
}

/* The colour of one pixel of the dialog's client area as on screen. */
COLORREF PixelAt(HWND dialog, int x, int y)
{
    HDC dc = GetDC(dialog);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(dialog, dc);
    return colour;
}

RECT ClientRectOf(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(HWND_DESKTOP, dialog, (POINT *)&r, 2);
    return r;
}

/* How many pixels of a square differ from the face colour. */
int MarkedPixels(HWND dialog, int left, int top, int size)
{
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    HDC dc = GetDC(dialog);
    int marked = 0;
    for (int y = top; y < top + size; y++)
        for (int x = left; x < left + size; x++)
            marked += GetPixel(dc, x, y) != face;
    ReleaseDC(dialog, dc);
    return marked;
}

TEST_F(DialogTest, PaintsIconAndOverallBarWhileStatusShows)
{
    int iconPage0 = 0, iconPage3 = 0, barShown = 0, barHidden = 0;
    COLORREF beside = 0;
    Run([&](HWND dialog) {
        SendMessageA(dialog, kRepaint, 0, 0);
        RECT place = ClientRectOf(dialog, IDC_ICONPLACE);
        beside = PixelAt(dialog, place.left - 3, place.top + 10);
        iconPage0 = MarkedPixels(dialog, place.left, place.top, 32);

        Put(dialog, {3, nullptr, "", 0, 0, 0});
        session.overallFill = 40;
        SendMessageA(dialog, kRepaint, 0, 0);
        iconPage3 = MarkedPixels(dialog, place.left, place.top, 32);
        RECT bar = ClientRectOf(dialog, IDC_OVERALLBAR);
        barShown = MarkedPixels(dialog, bar.left + 4, bar.top + 4, 8);

        /* Same page, status line hidden: the bar is not painted again. */
        ShowWindow(GetDlgItem(dialog, IDC_STATUS), SW_HIDE);
        SendMessageA(dialog, kRepaint, 0, 0);
        barHidden = MarkedPixels(dialog, bar.left + 4, bar.top + 4, 8);
        drive::Press(dialog, IDC_BUTTON2);
    });
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), beside);
    EXPECT_GT(iconPage0, 100) << "the icon at control 120";
    EXPECT_GT(iconPage3, 100);
    EXPECT_EQ(64, barShown);
    EXPECT_EQ(0, barHidden);
}

}  // namespace
