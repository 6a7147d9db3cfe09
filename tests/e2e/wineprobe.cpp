/*
 * What Wine itself takes for the two things an installation waits on, with
 * nothing of the installer around them: a one-shot 25 ms timer armed again
 * after each tick, as the wizard's pump arms it, and a Program Manager
 * conversation opened and closed, as each command of the group is sent.
 *
 *   wineprobe timer [TICKS]   set-to-fired times of TICKS one-shot timers
 *   wineprobe controls        per-call times of what the bar painters do:
 *                             GetDlgItem on a dialog of 31 controls against
 *                             a kept handle checked, GetDC and ReleaseDC,
 *                             the GDI calls of one bar
 *   wineprobe dde [PAIRS]     connect and disconnect times of PAIRS bare
 *                             conversations: before a CreateGroup and
 *                             ShowGroup, at once after them while their folder
 *                             windows come up, and once those have settled
 */
#include <windows.h>
#include <ddeml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

enum {
    kProbePeriod = 25,          /* ms, the pump's period */
    kProbeTimer = 1,            /* the probe window's timer */
    kProbeRearm = WM_APP + 1,   /* posted at a tick, as the wizard posts its pump */
    kExecuteTimeout = 5000      /* ms one execute may take */
};

static LARGE_INTEGER frequency;

static double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

/* "name: median M ms (min A, max B), sum S ms over N" */
static void Report(const char *name, std::vector<double> values)
{
    if (values.empty())
        return;
    double sum = 0;
    for (double v : values)
        sum += v;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    printf("%s: median %.2f ms (min %.2f, max %.2f), sum %.1f ms over %u\n", name, median, values[0],
           values[n - 1], sum, (unsigned)n);
}

/* ---- Timer ---- */

static std::vector<double> timerWaits;
static double timerSetAt;
static int ticksWanted;

static LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kProbeTimer) {
            timerWaits.push_back(NowMs() - timerSetAt);
            KillTimer(window, kProbeTimer);
            PostMessageA(window, kProbeRearm, 0, 0);
        }
        return 0;
    case kProbeRearm:
        if ((int)timerWaits.size() >= ticksWanted) {
            PostQuitMessage(0);
            return 0;
        }
        SetTimer(window, kProbeTimer, kProbePeriod, nullptr);
        timerSetAt = NowMs();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int ProbeTimer(int ticks)
{
    ticksWanted = ticks;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "WineProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("WineProbe", "Wine probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    double started = NowMs();
    PostMessageA(window, kProbeRearm, 0, 0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    double elapsed = NowMs() - started;
    char name[64];
    snprintf(name, sizeof name, "timer %d ms, set to fired", kProbePeriod);
    Report(name, timerWaits);
    printf("timer %d ticks: %.1f ms in all, %.1f ms over %d x %d ms\n", ticks, elapsed,
           elapsed - ticks * kProbePeriod, ticks, kProbePeriod);
    DestroyWindow(window);
    return 0;
}

/* ---- The painters' calls ---- */

enum {
    kProbeControls = 31,    /* controls of the wizard dialog */
    kProbeFirstId = 100,    /* their ids, in order */
    kProbeCalls = 2000      /* calls timed of each kind */
};

/* Microseconds per call of `call`, over kProbeCalls calls. */
template <typename Call>
static double PerCallUs(Call call)
{
    double at = NowMs();
    for (int i = 0; i < kProbeCalls; i++)
        call();
    return (NowMs() - at) * 1000.0 / kProbeCalls;
}

static int ProbeControls()
{
    HWND dialog = CreateWindowA("#32770", "Wine probe", WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 440, 360,
                                nullptr, nullptr, nullptr, nullptr);
    if (!dialog)
        return 1;
    HWND controls[kProbeControls];
    for (int i = 0; i < kProbeControls; i++)
        controls[i] = CreateWindowA("STATIC", "", WS_CHILD | (i % 2 ? WS_VISIBLE : 0), 4 * i, 8 * i, 60, 12,
                                    dialog, (HMENU)(INT_PTR)(kProbeFirstId + i), nullptr, nullptr);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);

    /* The per-file bar's frame stands late in the wizard's list. */
    const int late = kProbeControls - 6;
    HWND bar = controls[late];
    volatile int sink = 0;
    RECT r;
    printf("GetDlgItem, control %d of %d: %.2f us\n", late + 1, kProbeControls,
           PerCallUs([&] { sink += GetDlgItem(dialog, kProbeFirstId + late) != nullptr; }));
    printf("kept handle checked (IsWindow, GetParent, GetDlgCtrlID): %.2f us\n", PerCallUs([&] {
               sink += IsWindow(bar) && GetParent(bar) == dialog && GetDlgCtrlID(bar) == kProbeFirstId + late;
           }));
    printf("GetWindowRect: %.2f us\n", PerCallUs([&] { sink += GetWindowRect(bar, &r); }));
    printf("GetDC and ReleaseDC: %.2f us\n", PerCallUs([&] { ReleaseDC(dialog, GetDC(dialog)); }));

    HDC dc = GetDC(dialog);
    RECT area = {10, 200, 300, 220};
    printf("FrameRect: %.2f us\n", PerCallUs([&] { FrameRect(dc, &area, (HBRUSH)GetStockObject(BLACK_BRUSH)); }));
    printf("CreateSolidBrush, FillRect, DeleteObject: %.2f us\n", PerCallUs([&] {
               HBRUSH brush = CreateSolidBrush(RGB(0, 200, 100));
               FillRect(dc, &area, brush);
               DeleteObject(brush);
           }));
    printf("colours and ExtTextOut of no text: %.2f us\n", PerCallUs([&] {
               COLORREF text = SetTextColor(dc, RGB(255, 0, 0));
               COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
               ExtTextOutA(dc, 12, 202, ETO_CLIPPED, &area, "", 0, nullptr);
               SetTextColor(dc, text);
               SetBkColor(dc, back);
           }));
    ReleaseDC(dialog, dc);
    DestroyWindow(dialog);
    return sink < 0;
}

/* ---- Program Manager conversations ---- */

static HDDEDATA CALLBACK ProbeDdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

/* Bare conversations: connect, disconnect; their times into the two lists. */
static void Converse(DWORD instance, HSZ service, int pairs, std::vector<double> &connects,
                     std::vector<double> &disconnects)
{
    for (int i = 0; i < pairs; i++) {
        double at = NowMs();
        HCONV conversation = DdeConnect(instance, service, service, nullptr);
        double connected = NowMs();
        if (!conversation)
            continue;
        DdeDisconnect(conversation);
        connects.push_back(connected - at);
        disconnects.push_back(NowMs() - connected);
    }
}

/* One command in a conversation of its own; its execute time. */
static double Execute(DWORD instance, HSZ service, const char *command)
{
    HCONV conversation = DdeConnect(instance, service, service, nullptr);
    if (!conversation)
        return -1;
    double at = NowMs();
    DdeClientTransaction((LPBYTE)command, (DWORD)strlen(command) + 1, conversation, nullptr, CF_TEXT,
                         XTYP_EXECUTE, kExecuteTimeout, nullptr);
    double executed = NowMs() - at;
    DdeDisconnect(conversation);
    return executed;
}

static int ProbeDde(int pairs)
{
    DWORD instance = 0;
    if (DdeInitializeA(&instance, ProbeDdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return 1;
    HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);

    std::vector<double> connects, disconnects;
    Converse(instance, service, pairs, connects, disconnects);
    Report("dde connect, no folder window", connects);
    Report("dde disconnect, no folder window", disconnects);

    std::vector<double> executes;
    executes.push_back(Execute(instance, service, "[CreateGroup(\"Wineprobe\")]"));
    executes.push_back(Execute(instance, service, "[ShowGroup(\"Wineprobe\",1)]"));
    Report("dde execute CreateGroup, ShowGroup", executes);

    /* At once, while the folder windows come up (as the group's later
       commands meet them), and again once they have settled. */
    connects.clear();
    disconnects.clear();
    Converse(instance, service, pairs, connects, disconnects);
    Report("dde connect, folder windows opening", connects);
    Report("dde disconnect, folder windows opening", disconnects);
    Sleep(3000);
    connects.clear();
    disconnects.clear();
    Converse(instance, service, pairs, connects, disconnects);
    Report("dde connect, folder windows open", connects);
    Report("dde disconnect, folder windows open", disconnects);

    DdeFreeStringHandle(instance, service);
    DdeUninitialize(instance);
    return 0;
}

int main(int argc, char **argv)
{
    QueryPerformanceFrequency(&frequency);
    int count = argc > 2 ? atoi(argv[2]) : 0;
    if (argc > 1 && strcmp(argv[1], "timer") == 0)
        return ProbeTimer(count > 0 ? count : 63);
    if (argc > 1 && strcmp(argv[1], "controls") == 0)
        return ProbeControls();
    if (argc > 1 && strcmp(argv[1], "dde") == 0)
        return ProbeDde(count > 0 ? count : 12);
    fprintf(stderr, "usage: wineprobe timer [TICKS] | controls | dde [PAIRS]\n");
    return 2;
}
