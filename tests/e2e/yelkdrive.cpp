/*
 * yelkdrive: runs setup32.exe under Wine and drives it as a user would, by
 * posting to its controls; prints what it saw (message boxes, pages, the help
 * request, the exit code) for tests/e2e/e2e.sh to check, and saves a picture
 * of the screen at each case's last page.
 *
 *   yelkdrive install|cancel|error|pages|start|twice KEY=VALUE...
 *   yelkdrive readlink FILE.lnk...    prints target|working folder|icon file,
 *                                     a line for each ("unreadable" when it is not a link)
 *
 * Some keys: setup= (the installer, default c:\setup32.exe), cwd= (the folder
 * it starts in), temp= (TEMP and TMP for it), attach=1 (drive an installer
 * that was started by someone else instead of starting one), folder=,
 * backups=, keep=, shortcuts= (the options page).
 *
 * Every wait ends on what it waits for, or on what shows that the run went
 * another way (the installer ended, one of its message boxes opened); none
 * ends because time passed. Under qemu-i386 each step takes several times as
 * long as natively, and that must only make a case slower. A run that hangs
 * is ended by the group's CTest timeout; e2e.sh shows the lines printed so far.
 */
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/win32/drive.h"

namespace {

std::map<std::string, std::string> options;

std::string Option(const char *key, const char *fallback = "")
{
    auto found = options.find(key);
    return found == options.end() ? fallback : found->second;
}

bool Flag(const char *key, bool fallback)
{
    std::string value = Option(key, fallback ? "1" : "0");
    return value == "1";
}

PROCESS_INFORMATION setup;   /* the installer being driven */

/* Reports a step that did not happen and ends the installer, so that the
   next case starts clean. */
[[noreturn]] void Fail(const std::string &what)
{
    printf("fail %s\n", what.c_str());
    fflush(stdout);
    if (setup.hProcess)
        TerminateProcess(setup.hProcess, 3);
    exit(2);
}

bool SetupRunning()
{
    return setup.hProcess != nullptr && WaitForSingleObject(setup.hProcess, 0) == WAIT_TIMEOUT;
}

/* ---- Waiting ---- */

/* Between two looks at the installer's windows. Each look is a few requests
   to Wine's server, which the installer's own requests queue behind. */
const DWORD kPollMs = 20;

/* Serves this thread's messages (the stand-in help viewer, the broadcasts of
   a DDE connect) for up to ms; returns early when the installer ends. */
void Serve(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        DWORD waited = GetTickCount() - start;
        if (waited >= ms)
            return;
        HANDLE process = setup.hProcess;
        DWORD count = process != nullptr ? 1 : 0;
        if (MsgWaitForMultipleObjects(count, &process, FALSE, ms - waited, QS_ALLINPUT) == WAIT_OBJECT_0 &&
            count == 1)
            return;
    }
}

HWND OpenBox();
void NoteBox(HWND box);

/* What ended a wait. */
enum class Woke {
    kHappened,   /* what was awaited */
    kEnded,      /* the installer's process ended first */
    kBox,        /* one of its message boxes opened first */
};

/* Which of those end a wait besides what it awaits. */
const int kStopAtEnd = 1;
const int kStopAtBox = 2;

/* Looks at ready() until it holds, serving messages meanwhile, or until what
   `stops` names happens first. */
template <typename Ready>
Woke Await(Ready ready, int stops = kStopAtEnd | kStopAtBox)
{
    for (;;) {
        if (ready())
            return Woke::kHappened;
        if ((stops & kStopAtEnd) && setup.hProcess != nullptr && !SetupRunning())
            return ready() ? Woke::kHappened : Woke::kEnded;
        if ((stops & kStopAtBox) && setup.hProcess != nullptr && OpenBox() != nullptr)
            return ready() ? Woke::kHappened : Woke::kBox;
        Serve(kPollMs);
    }
}

/* Await, where anything but the awaited event fails the case: `what` names
   the event ("the options page showed"). */
template <typename Ready>
void Expect(Ready ready, const std::string &what)
{
    switch (Await(ready)) {
    case Woke::kHappened:
        return;
    case Woke::kEnded: {
        /* Its exit code tells a second instance (0) from a crash. */
        DWORD code = 99;
        GetExitCodeProcess(setup.hProcess, &code);
        Fail("the installer ended before " + what + " (exit code " + std::to_string(code) + ")");
    }
    case Woke::kBox:
        NoteBox(OpenBox());
        Fail("a message box opened before " + what);
    }
}

/* Every message posted to the thread of `field` (an edit control) before
   this call has been handled once it returns: a caret move posted behind
   them is seen to have happened. The field must hold at least a character. */
void Drain(HWND field)
{
    LRESULT length = SendMessageA(field, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(field, EM_SETSEL, 0, 0);
    PostMessageA(field, EM_SETSEL, (WPARAM)length, length);
    Await([&] {
        LRESULT selection = SendMessageA(field, EM_GETSEL, 0, 0);
        return !IsWindow(field) || (LOWORD(selection) == length && HIWORD(selection) == length);
    }, kStopAtEnd);
}

/* ---- The screen ---- */

/* A picture of a screen rectangle kept in memory (24-bit rows, bottom up). */
struct Frame {
    RECT area = {0, 0, 0, 0};
    std::vector<BYTE> bits;
};

Frame Capture(RECT area)
{
    Frame frame;
    frame.area = area;
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    frame.bits.assign((BYTE *)bits, (BYTE *)bits + stride * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return frame;
}

void SaveFrame(const Frame &frame, const std::string &path)
{
    int width = frame.area.right - frame.area.left, height = frame.area.bottom - frame.area.top;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + (DWORD)frame.bits.size();
    FILE *file = fopen(path.c_str(), "wb");
    if (file) {
        fwrite(&header, sizeof header, 1, file);
        fwrite(&info, sizeof info, 1, file);
        fwrite(frame.bits.data(), 1, frame.bits.size(), file);
        fclose(file);
        printf("shot %s\n", path.c_str());
    }
}

BOOL CALLBACK PaintNow(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == setup.dwProcessId && IsWindowVisible(window)) {
        /* A paint owed is sent to the window's thread and done before this
           returns; the round trip after it lets that thread, idle again,
           hand what it drew to the X server. */
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        SendMessageA(window, WM_NULL, 0, 0);
        SendMessageA(window, WM_NULL, 0, 0);
    }
    return TRUE;
}

/* The whole screen into a .bmp file, once every window of the installer has
   painted what it shows; nothing when path is empty. */
void SaveScreen(const std::string &path)
{
    if (path.empty())
        return;
    if (SetupRunning())
        EnumWindows(PaintNow, 0);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SaveFrame(Capture(screen), path);
}

/* Share of a bar's width (screen rectangle bar, inside frame) painted in a
   colour where green or blue clearly leads red: the fill, not the white
   rest nor the red percentage. */
double BarShare(const Frame &frame, RECT bar)
{
    int width = frame.area.right - frame.area.left, height = frame.area.bottom - frame.area.top;
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    int y = (bar.top + bar.bottom) / 2 - frame.area.top;
    if (y < 0 || y >= height || bar.right - bar.left < 8)
        return 0;
    const BYTE *row = frame.bits.data() + stride * (height - 1 - y);
    int filled = 0, inside = 0;
    for (int x = bar.left + 2; x < bar.right - 2; x++) {
        int at = x - frame.area.left;
        if (at < 0 || at >= width)
            continue;
        const BYTE *p = row + at * 3;   /* blue, green, red */
        inside++;
        filled += p[2] < 60 && (p[0] > 90 || p[1] > 90) && !(p[0] > 200 && p[1] > 200);
    }
    return inside ? (double)filled / inside : 0;
}

/* Wine's Program Manager service opens a folder window for each CreateGroup
   and ShowGroup: it starts an explorer process of its own for each, which
   shows its window a moment later and ends when the window closes. Closes
   every visible folder window it finds. */
BOOL CALLBACK CloseFolderWindow(HWND window, LPARAM)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (IsWindowVisible(window) &&
        (!strcmp(name, "ExplorerWClass") || !strcmp(name, "ExploreWClass") ||
         !strcmp(name, "CabinetWClass")))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

/* The explorer processes running now, but for those in `except`. */
std::vector<DWORD> ExplorerProcesses(const std::vector<DWORD> &except)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        Fail("no process list");
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "explorer.exe") == 0 &&
            std::find(except.begin(), except.end(), entry.th32ProcessID) == except.end())
            found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

/* Explorer processes that ran before the installer started: the desktop's,
   and folder windows of an earlier case still on their way out. */
std::vector<DWORD> explorersBefore;

/* The desktop's explorer, which never ends (in a fresh prefix the first
   window of the installer starts it). */
DWORD DesktopProcess()
{
    DWORD process = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &process);
    return process;
}

/* Once the group is made (its commands are answered after the service has
   started each folder's explorer): closes the folder windows until every
   explorer started since the installer has ended. A folder process that
   ended without a window is no longer waited for; nothing counts windows
   that Wine may or may not show. */
void CloseFolderWindows()
{
    std::vector<DWORD> except = explorersBefore;
    except.push_back(DesktopProcess());
    std::vector<HANDLE> folders;
    for (DWORD id : ExplorerProcesses(except))
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id))
            folders.push_back(process);
    Await([&] {
        EnumWindows(CloseFolderWindow, 0);
        for (HANDLE process : folders)
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
                return false;
        return true;
    }, 0);
    for (HANDLE process : folders)
        CloseHandle(process);
}

/* ---- The installer's process and its message boxes ---- */

struct WizardSearch {
    DWORD process;   /* 0: any */
    HWND found;
};

BOOL CALLBACK MatchWizard(HWND window, LPARAM lParam)
{
    WizardSearch *search = (WizardSearch *)lParam;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = "", caption[64] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    if ((search->process == 0 || process == search->process) && !strcmp(name, "#32770") &&
        !strcmp(caption, drive::kWizardCaption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* The wizard of the given installer process (0: of any), or nullptr. */
HWND FindWizard(DWORD process)
{
    WizardSearch search = {process, nullptr};
    EnumWindows(MatchWizard, (LPARAM)&search);
    return search.found;
}

/* The installer already running with its wizard open (attach=1): started
   from Linux, so that a test can kill its process. Nothing tells this
   driver when that start fails: the group's timeout does. */
void AttachSetup()
{
    HWND found = nullptr;
    Await([&] { return (found = FindWizard(0)) != nullptr; }, 0);
    GetWindowThreadProcessId(found, &setup.dwProcessId);
    setup.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, setup.dwProcessId);
    if (setup.hProcess == nullptr)
        Fail("cannot open the running installer");
}

void StartSetup()
{
    explorersBefore = ExplorerProcesses({});
    if (Flag("attach", false)) {
        AttachSetup();
        return;
    }
    /* TEMP and TMP for the installer only (temp=): where GetTempPathA points. */
    std::string temp = Option("temp");
    if (!temp.empty()) {
        SetEnvironmentVariableA("TEMP", temp.c_str());
        SetEnvironmentVariableA("TMP", temp.c_str());
    }
    std::string command = "\"" + Option("setup", "c:\\setup32.exe") + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string folder = Option("cwd", "c:\\");
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &setup))
        Fail("cannot start the installer");
}

struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM lParam)
{
    BoxSearch *search = (BoxSearch *)lParam;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = "", caption[128] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    if (process == search->process && IsWindowVisible(window) && !strcmp(name, "#32770") &&
        !strncmp(caption, "Yelk Installation ", 18)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* A message box of the installer that is open now, or nullptr. */
HWND OpenBox()
{
    BoxSearch search = {setup.dwProcessId, nullptr};
    EnumWindows(MatchBox, (LPARAM)&search);
    return search.found;
}

std::string Escaped(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

/* Prints what the open box says: "box CAPTION|TEXT". */
void NoteBox(HWND box)
{
    char caption[128] = "";
    GetWindowTextA(box, caption, sizeof caption);
    std::string text = drive::ControlText(box, drive::kBoxTextId);
    printf("box %s|%s\n", caption, Escaped(text).c_str());
    fflush(stdout);
}

/* Notes the open box and answers it. */
void AnswerBox(HWND box, int answer)
{
    NoteBox(box);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(box, answer));
    Await([&] { return !IsWindow(box); }, kStopAtEnd);
}

/* Waits for the installer to end, serving the stand-in help viewer: a help
   request is sent (WinHelpA waits for the viewer's answer), so it has been
   printed once the installer's process is gone. A box opened meanwhile fails. */
void WaitExit()
{
    if (Await([] { return !SetupRunning(); }, kStopAtBox) == Woke::kBox) {
        NoteBox(OpenBox());
        Fail("a message box opened while the installer was ending");
    }
    DWORD code = 99;
    GetExitCodeProcess(setup.hProcess, &code);
    printf("exit %lu\n", code);
}

/* After Finish with the client launched: waits until every process of the
   launched client has ended, so that what it leaves can be read at once.
   The installer started it before it ended itself. */
void WaitClient(const char *image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        Fail("no process list");
    std::vector<HANDLE> running;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, image) != 0)
            continue;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID))
            running.push_back(process);
    }
    CloseHandle(snapshot);
    for (HANDLE process : running) {
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
    }
    printf("client ended\n");
}

/* ---- The stand-in help viewer ---- */

LRESULT CALLBACK HelpViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        /* The request: size, command, data, reserved, file name offset. */
        const COPYDATASTRUCT *copy = (const COPYDATASTRUCT *)lParam;
        const BYTE *block = (const BYTE *)copy->lpData;
        printf("help %s %u %ld\n", (const char *)(block + *(const WORD *)(block + 12)),
               *(const WORD *)(block + 2), *(const LONG *)(block + 4));
        fflush(stdout);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void StartHelpViewer()
{
    WNDCLASSA viewerClass = {};
    viewerClass.lpfnWndProc = HelpViewerProc;
    viewerClass.hInstance = GetModuleHandleA(nullptr);
    viewerClass.lpszClassName = "MS_WINHELP";
    RegisterClassA(&viewerClass);
    CreateWindowA("MS_WINHELP", "Help stand-in", 0, 0, 0, 0, 0, nullptr, nullptr,
                  viewerClass.hInstance, nullptr);
}

/* ---- Steps of a run ---- */

HWND wizard;

int Page()
{
    return drive::VisiblePage(wizard);
}

void ExpectPage(int page)
{
    Expect([&] { return Page() == page; }, "page " + std::to_string(page) + " showed (page " +
                                               std::to_string(Page()) + " shows)");
}

void OpenWizard()
{
    StartSetup();
    Expect([] { return (wizard = FindWizard(setup.dwProcessId)) != nullptr; }, "its wizard showed");
    ExpectPage(0);
}

/* Page 0 to the options page. */
void ToOptionsPage()
{
    drive::Press(wizard, IDC_BUTTON1);
    ExpectPage(1);
    drive::Press(wizard, IDC_BUTTON1);
    ExpectPage(2);
}

/* Chooses a folder through Browse as a user would: type it, press OK. */
void ChooseFolder(const std::string &folder)
{
    drive::Press(wizard, IDC_BROWSE);
    HWND chooser = nullptr;
    Expect([&] {
        chooser = drive::FindDialog("Yelk Select Folder");
        return chooser != nullptr && IsWindowVisible(chooser);
    }, "the folder chooser showed");
    /* Typed once the chooser has handled all it had queued, so that no late
       suggestion of its own replaces the text before OK reads it. */
    HWND field = GetDlgItem(chooser, IDC_CHOOSERFOLDER);
    do {
        SetDlgItemTextA(chooser, IDC_CHOOSERFOLDER, folder.c_str());
        Drain(field);
    } while (IsWindow(chooser) && drive::ControlText(chooser, IDC_CHOOSERFOLDER) != folder);
    drive::Press(chooser, IDOK);
    Expect([&] { return !IsWindow(chooser); }, "the chooser closed");
    printf("folder %s\n", drive::ControlText(wizard, IDC_FOLDERTEXT).c_str());
}

void SetOptions()
{
    if (!Option("folder").empty())
        ChooseFolder(Option("folder"));
    drive::SetCheck(wizard, IDC_MAKEBACKUPS, Flag("backups", true));
    drive::SetCheck(wizard, IDC_KEEPSETTINGS, Flag("keep", true));
    drive::SetCheck(wizard, IDC_CREATESHORTCUTS, Flag("shortcuts", true));
}

void PrintOptions()
{
    printf("options %d %d %d\n", IsDlgButtonChecked(wizard, IDC_MAKEBACKUPS),
           IsDlgButtonChecked(wizard, IDC_KEEPSETTINGS),
           IsDlgButtonChecked(wizard, IDC_CREATESHORTCUTS));
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/* Slices (of 15001 bytes) the installer needs until its first file is
   written, and until its last: from the member markers in its file. */
void CountSlices(int *toFirstFile, int *toEnd)
{
    *toFirstFile = *toEnd = 0;
    FILE *file = fopen(Option("setup", "c:\\setup32.exe").c_str(), "rb");
    if (file == nullptr)
        return;
    const char marker[] = {'A', 'R', 'N', 'I'};
    long offset = 0, ends[11];
    int found = 0, matched = 0, c;
    while (found < 11 && (c = fgetc(file)) != EOF) {
        offset++;
        if (c == marker[matched]) {
            if (++matched == 4) {
                ends[found++] = offset;   /* bytes consumed once it is read */
                matched = 0;
            }
        } else {
            matched = 0;
        }
    }
    fclose(file);
    const long slice = 15001;
    if (found == 11) {
        *toFirstFile = (int)((ends[1] + slice - 1) / slice);
        *toEnd = (int)((ends[10] + slice - 1) / slice);
    }
}

/* Size of a file in bytes; -1 when there is none. */
long FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (long)data.nFileSizeLow;
}

/* Install pressed; waits for the finish page, answering what comes up:
   abort questions by the abort= option (no or yes), anything else with OK.
   Returns the page it ended on, -1 when the wizard ended.
   With abort=, Abort is pressed once the first member, yelk32.exe, has taken
   its name in the folder (it moves in whole once decoded), so the question
   comes while the run is under way whatever the speed of either side, given
   an installer with members left after it (25 ms apart at the least): the
   real-shaped one. No lets the run go on; Yes ends it, and Install is
   pressed again, which runs to the end. */
int RunInstall()
{
    std::string abort = Option("abort");
    std::string folder = drive::ControlText(wizard, IDC_FOLDERTEXT);
    std::string first = folder + "\\yelk32.exe";
    long earlier = FileSize(first);
    drive::Press(wizard, IDC_BUTTON1);
    bool aborted = false;
    bool abortPressed = abort.empty();
    bool left = false;   /* the options page was left (or a box came up) */
    for (;;) {
        if (!SetupRunning() || !IsWindow(wizard))
            return -1;
        if (HWND box = OpenBox()) {
            left = true;
            char caption[128] = "";
            GetWindowTextA(box, caption, sizeof caption);
            if (strcmp(caption, "Yelk Installation Warning") != 0) {
                SaveScreen(Option("shot"));
                AnswerBox(box, IDOK);
                continue;
            }
            if (abort == "yes" && !aborted) {
                AnswerBox(box, IDYES);
                aborted = true;
                ExpectPage(2);
                printf("after-abort page %d folder %s\n", Page(), Exists(folder) ? "present" : "absent");
                /* What the folder holds now: each member's size, or absent. */
                for (const char *name : {"yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt"}) {
                    long size = FileSize(folder + "\\" + name);
                    if (size >= 0)
                        printf("after-abort file %s %ld\n", name, size);
                    else
                        printf("after-abort file %s absent\n", name);
                }
                PrintOptions();
                /* Install again: the run starts afresh. */
                left = false;
                drive::Press(wizard, IDC_BUTTON1);
                continue;
            }
            AnswerBox(box, IDNO);
            continue;
        }
        if (!abortPressed) {
            long size = FileSize(first);
            if (size > 0 && size != earlier) {
                printf("abort after the first member: yelk32.exe %ld bytes\n", size);
                drive::Press(wizard, IDC_BUTTON2);
                abortPressed = true;
            }
        }
        int page = Page();
        if (page == 3)
            left = true;
        if (page == 4)
            return 4;
        if (page == 2 && left)
            return 2;   /* back on the options page after an error */
        Serve(kPollMs);
    }
}

/* ---- Cases ---- */

/* A whole installation with the options given, to the finish page and past. */
int CaseInstall()
{
    StartHelpViewer();
    OpenWizard();
    ToOptionsPage();
    SetOptions();
    int page = RunInstall();
    printf("page %d\n", page);
    if (page != 4)
        Fail("no finish page");
    CloseFolderWindows();
    drive::SetCheck(wizard, IDC_OPENHELP, Flag("help", false));
    drive::SetCheck(wizard, IDC_LAUNCHCLIENT, Flag("launch", false));
    SetForegroundWindow(wizard);
    SaveScreen(Option("shot"));
    /* The sample client is no program; a stand-in that notes its start
       takes its place before Finish asks for it. */
    std::string swap = Option("swap");
    if (!swap.empty()) {
        std::string client = drive::ControlText(wizard, IDC_FOLDERTEXT) + "\\yelk32.exe";
        if (!CopyFileA(swap.c_str(), client.c_str(), FALSE))
            Fail("cannot put the stand-in client in place");
    }
    Flag("close", false) ? drive::Close(wizard) : drive::Press(wizard, IDC_BUTTON2);
    WaitExit();
    if (Flag("launch", false))
        WaitClient("yelk32.exe");
    return 0;
}

/* Cancel (button 2, or the close box) on page 0, 1 or 2. */
int CaseCancel()
{
    OpenWizard();
    int page = atoi(Option("page", "0").c_str());
    for (int p = 0; p < page; p++) {
        drive::Press(wizard, IDC_BUTTON1);
        ExpectPage(p + 1);
    }
    printf("caption %s\n", drive::ControlText(wizard, IDC_BUTTON2).c_str());
    SaveScreen(Option("shot"));
    Flag("close", false) ? drive::Close(wizard) : drive::Press(wizard, IDC_BUTTON2);
    /* The wizard ends, or asks first: the question is noted and answered No. */
    if (Await([] { return !SetupRunning(); }, kStopAtBox) == Woke::kBox)
        AnswerBox(OpenBox(), IDNO);
    WaitExit();
    return 0;
}

/* Install that meets an error box; after it the wizard either ends or is back
   on the options page, which is then cancelled. An installation that was
   expected to fail and finished instead is ended with Finish. */
int CaseError()
{
    OpenWizard();
    ToOptionsPage();
    SetOptions();
    int page = RunInstall();
    printf("page %d\n", page);
    if (page == 2) {
        PrintOptions();
        printf("folder %s\n", drive::ControlText(wizard, IDC_FOLDERTEXT).c_str());
        drive::Press(wizard, IDC_BUTTON2);
    } else if (page == 4) {
        printf("status %s\n", drive::ControlText(wizard, IDC_DONE1).c_str());
        CloseFolderWindows();
        SaveScreen(Option("shot"));
        drive::Press(wizard, IDC_BUTTON2);
    }
    WaitExit();
    return 0;
}

/* Install pressed and nothing more: the driver leaves the installer running
   (started by it, or attach=1) for the test to deal with. */
int CaseStart()
{
    OpenWizard();
    ToOptionsPage();
    SetOptions();
    drive::Press(wizard, IDC_BUTTON1);
    Expect([] { return Page() != 2 || OpenBox() != nullptr; }, "Install started");
    printf("installing\n");
    return 0;
}

BOOL CALLBACK CountWizard(HWND window, LPARAM lParam)
{
    char name[16] = "", caption[64] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    if (!strcmp(name, "#32770") && !strcmp(caption, drive::kWizardCaption))
        ++*(int *)lParam;
    return TRUE;
}

int WizardCount()
{
    int count = 0;
    EnumWindows(CountWizard, (LPARAM)&count);
    return count;
}

struct ShownSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchShown(HWND window, LPARAM lParam)
{
    ShownSearch *search = (ShownSearch *)lParam;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* A visible top-level window of the process, or nullptr. */
HWND ShownWindow(DWORD process)
{
    ShownSearch search = {process, nullptr};
    EnumWindows(MatchShown, (LPARAM)&search);
    return search.found;
}

/* Two installers at once: the first is taken to the options page, a window of
   another program is put on top, then a second installer is started. It must
   end by itself with exit code 0, without a window of its own (no wizard to
   wait on the user), having raised the first one's wizard and done nothing;
   the first then installs. */
int CaseTwice()
{
    StartHelpViewer();
    OpenWizard();
    ToOptionsPage();
    SetOptions();

    HWND other = CreateWindowExA(0, "#32770", "Another program", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                 20, 20, 700, 500, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    Expect([&] { return GetForegroundWindow() == other; }, "the other program came to the front");
    printf("foreground before: other\n");

    PROCESS_INFORMATION first = setup;
    StartSetup();
    PROCESS_INFORMATION second = setup;
    setup = first;
    DWORD started = GetTickCount();
    HWND shown = nullptr;
    Await([&] {
        return WaitForSingleObject(second.hProcess, 0) != WAIT_TIMEOUT ||
               (shown = ShownWindow(second.dwProcessId)) != nullptr;
    });
    if (shown != nullptr) {
        char name[64] = "", caption[128] = "";
        GetClassNameA(shown, name, sizeof name);
        GetWindowTextA(shown, caption, sizeof caption);
        printf("second showed %s|%s; wizards %d\n", name, caption, WizardCount());
        TerminateProcess(second.hProcess, 3);
        Fail("the second installer showed a window");
    }
    if (WaitForSingleObject(second.hProcess, 0) == WAIT_TIMEOUT)
        Fail("the first installer ended or asked something while the second ran");
    DWORD code = 99;
    GetExitCodeProcess(second.hProcess, &code);
    printf("second exit %lu, no window of its own\n", code);
    printf("second ran %lu ms\n", GetTickCount() - started);
    printf("wizards %d\n", WizardCount());
    /* The second asked the first installer's thread to take the front before
       it ended; a message sent after that is handled after it. */
    SendMessageA(wizard, WM_NULL, 0, 0);
    DWORD owner = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &owner);
    printf("foreground after: %s\n", owner == first.dwProcessId ? "first installer"
                                      : GetForegroundWindow() == other ? "other" : "elsewhere");
    DestroyWindow(other);

    int page = RunInstall();
    printf("page %d\n", page);
    if (page != 4)
        Fail("no finish page");
    CloseFolderWindows();
    SaveScreen(Option("shot"));
    drive::Press(wizard, IDC_BUTTON2);
    WaitExit();
    return 0;
}

/* The README's pictures: every page of a real installation, the progress page
   with both bars part-way, and the folder chooser. */
int CasePages()
{
    std::string stem = Option("stem", "c:\\page");
    OpenWizard();
    SaveScreen(stem + "0.bmp");
    drive::Press(wizard, IDC_BUTTON1);
    ExpectPage(1);
    SaveScreen(stem + "1.bmp");
    drive::Press(wizard, IDC_BUTTON1);
    ExpectPage(2);
    SaveScreen(stem + "2.bmp");
    drive::Press(wizard, IDC_BROWSE);
    HWND chooser = drive::WaitDialog("Yelk Select Folder");
    if (chooser) {
        drive::WaitUntil([&] { return IsWindowVisible(chooser) != 0; });
        SaveScreen(stem + "chooser.bmp");
        drive::Press(chooser, IDCANCEL);
        drive::WaitUntil([&] { return !IsWindow(chooser); });
    }
    /* While the progress page shows, the wizard's area is captured again and
       again; the frame where both bars are nearest half full is kept. A
       capture reads the screen only, so it never waits for the wizard. */
    RECT fileBar, overallBar, area;
    GetWindowRect(GetDlgItem(wizard, IDC_FILEBAR), &fileBar);
    GetWindowRect(GetDlgItem(wizard, IDC_OVERALLBAR), &overallBar);
    GetWindowRect(wizard, &area);
    InflateRect(&area, 4, 4);
    Frame best;
    double bestScore = -1;
    int frames = 0;
    DWORD started = GetTickCount();
    drive::Press(wizard, IDC_BUTTON1);
    bool capture = Flag("capture", true);   /* capture=0: only time the run */
    /* A timed run watches one control of the finish page: the full page test
       (GetDlgItem on another process's dialog, a server request per control
       it passes) every 2 ms kept Wine's server busy, and the installer's own
       requests queued behind it, about 8% of the time measured. */
    HWND finishText = GetDlgItem(wizard, IDC_DONE1);
    auto onFinishPage = [&] { return capture ? Page() == 4 : IsWindowVisible(finishText) != 0; };
    while (GetTickCount() - started < 120000 && !onFinishPage()) {
        if (!capture) {
            drive::Pause(2);
            continue;
        }
        Frame frame = Capture(area);
        frames++;
        double file = BarShare(frame, fileBar), overall = BarShare(frame, overallBar);
        double score = (file > 0.05 && file < 0.95 ? 1 : 0) + (overall > 0.05 && overall < 0.95 ? 1 : 0) -
                       (file - 0.5) * (file - 0.5) - (overall - 0.5) * (overall - 0.5);
        if (score > bestScore) {
            bestScore = score;
            best = frame;
        }
        drive::Pause(1);
    }
    if (capture) {
        SaveFrame(best, stem + "3.bmp");
        printf("progress frames %d best %.2f\n", frames, bestScore);
    }
    ExpectPage(4);
    DWORD elapsed = GetTickCount() - started;
    int toFirstFile = 0, toEnd = 0;
    CountSlices(&toFirstFile, &toEnd);
    printf("install-ms %lu slices %d\n", elapsed, toEnd);
    CloseFolderWindows();
    SaveScreen(stem + "4.bmp");
    drive::Press(wizard, IDC_BUTTON2);
    WaitExit();
    return 0;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM)
{
    char name[64] = "", caption[128] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    if (IsWindowVisible(window))
        printf("window %s|%s\n", name, caption);
    return TRUE;
}

/* One line per link: target|working folder|icon file, or "unreadable". Each
   is read by a shell link object of its own, so that nothing of one can
   show in the next. */
int ReadLinks(int count, char **paths)
{
    CoInitialize(nullptr);
    int status = 0;
    for (int i = 0; i < count; i++) {
        IShellLinkA *link = nullptr;
        IPersistFile *file = nullptr;
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, paths[i], -1, wide, MAX_PATH);
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    (void **)&link)) ||
            FAILED(link->QueryInterface(IID_IPersistFile, (void **)&file)) ||
            FAILED(file->Load(wide, STGM_READ))) {
            printf("unreadable\n");
            status = 1;
        } else {
            char target[MAX_PATH] = "", folder[MAX_PATH] = "", icon[MAX_PATH] = "";
            int index = 0;
            link->GetPath(target, MAX_PATH, nullptr, 0);
            link->GetWorkingDirectory(folder, MAX_PATH);
            link->GetIconLocation(icon, MAX_PATH, &index);
            printf("%s|%s|%s\n", target, folder, icon);
        }
        if (file)
            file->Release();
        if (link)
            link->Release();
    }
    CoUninitialize();
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
        return 64;
    std::string what = argv[1];
    if (what == "windows")
        return !EnumWindows(ListWindow, 0);
    if (what == "readlink" && argc >= 3)
        return ReadLinks(argc - 2, argv + 2);
    for (int i = 2; i < argc; i++) {
        const char *equals = strchr(argv[i], '=');
        if (equals)
            options[std::string(argv[i], (size_t)(equals - argv[i]))] = equals + 1;
    }
    if (what == "install")
        return CaseInstall();
    if (what == "cancel")
        return CaseCancel();
    if (what == "error")
        return CaseError();
    if (what == "pages")
        return CasePages();
    if (what == "start")
        return CaseStart();
    if (what == "twice")
        return CaseTwice();
    return 64;
}
