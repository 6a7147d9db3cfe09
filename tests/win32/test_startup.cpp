/*
 * WinMain's start-up decisions: one installer at a time, the shell from the
 * version word, and the 3-D control library taken from the system folder
 * only, registered only when it has all three entry points, with the error
 * mode set before anything of it can fail.
 */
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"
#include "tests/win32/drive.h"

namespace {

std::string OwnFolder()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.rfind('\\'));
}

std::string Lower(std::string text)
{
    CharLowerA(&text[0]);
    return text;
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(module, path, MAX_PATH);
    return Lower(path);
}

typedef const char *(WINAPI *LogCall)();

std::string CallLogOf(HMODULE module)
{
    LogCall log = (LogCall)(void *)GetProcAddress(module, "CallLog");
    return log ? log() : "<no log>";
}

/* A pointer as the stand-in library logs it (%p: 8 hex digits on i686, 16 on
   x86_64). */
std::string PointerText(const void *pointer)
{
    std::string text(static_cast<size_t>(snprintf(nullptr, 0, "%p", pointer)), '\0');
    snprintf(&text[0], text.size() + 1, "%p", pointer);
    return text;
}

TEST(Startup, SecondClaimOfTheNameIsRefused)
{
    char name[64];
    snprintf(name, sizeof name, "yelk test single instance %lu", GetCurrentProcessId());
    EXPECT_EQ(1, ClaimSingleInstance(name));
    /* The name is held for good: any later claim, from this process or
       another, finds it taken. */
    EXPECT_EQ(0, ClaimSingleInstance(name));
    EXPECT_EQ(0, ClaimSingleInstance(name));
    HANDLE probe = OpenMutexA(SYNCHRONIZE, FALSE, name);
    EXPECT_NE(nullptr, probe) << "the first claim's mutex is gone";
    if (probe)
        CloseHandle(probe);
}

/* The running installer's zero-size main window and the wizard it owns. */
struct RunningInstaller {
    HWND main = nullptr, wizard = nullptr, other = nullptr;
    RunningInstaller()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "yelk test main class";
        RegisterClassA(&windowClass);
        main = CreateWindowExA(0, windowClass.lpszClassName, "main", WS_POPUP | WS_CAPTION, 0, 0, 0,
                               0, nullptr, nullptr, windowClass.hInstance, nullptr);
        ShowWindow(main, SW_SHOW);
        wizard = CreateWindowExA(0, "#32770", "wizard", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50,
                                 300, 200, main, nullptr, nullptr, nullptr);
        SetActiveWindow(wizard);
        /* Another program's window on top of both. */
        other = CreateWindowExA(0, "#32770", "other", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40, 40,
                                400, 300, nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(other);
    }
    ~RunningInstaller()
    {
        DestroyWindow(other);
        DestroyWindow(wizard);
        DestroyWindow(main);
    }
};

TEST(Startup, SecondStartRaisesTheRunningWizard)
{
    RunningInstaller running;
    ASSERT_EQ(running.other, GetForegroundWindow());
    RaiseRunningInstance("yelk test main class", 0);
    EXPECT_EQ(running.wizard, GetForegroundWindow());
    /* Above the other window, and the main window with it. */
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        ASSERT_NE(running.other, w) << "the other window is still above the wizard";
        if (w == running.wizard)
            break;
    }
}

TEST(Startup, SecondStartWithoutAWindowWaitsOnlyAMoment)
{
    DWORD start = GetTickCount();
    RaiseRunningInstance("yelk test no such class", 300);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 2000u);
}

TEST(Startup, NewShellFromVersionWord)
{
    struct Row {
        unsigned major, minor;
        int expected;
    } rows[] = {
        {4, 0, 1},  {4, 10, 1}, {4, 90, 1},  /* Windows 95, 98, Me; NT 4 */
        {5, 0, 0},  {5, 1, 0},  {6, 1, 0},   /* 2000, XP, 7: old shell by this rule */
        {3, 95, 1}, {3, 51, 0}, {3, 10, 0},
        {6, 95, 1}, {10, 0, 0}, {0, 255, 1},
    };
    for (const Row &r : rows) {
        /* The high word (build number, platform bit) plays no part. */
        DWORD version = 0x80000000u | (r.minor << 8) | r.major;
        EXPECT_EQ(r.expected, IsNewShell(version)) << r.major << "." << r.minor;
    }
}

/* Stand-ins for kernel32's two calls that narrow the DLL search, handed to
   RestrictDllSearch by a lookup that shows only those a row says the system
   has; they note each call and answer as the row says. */
struct SearchRow {
    const char *what;
    bool hasDefault, defaultWorks;       /* SetDefaultDllDirectories */
    bool hasDirectory, directoryWorks;   /* SetDllDirectoryA */
    DllSearch result;
    const char *calls;
};
const SearchRow *searchRow;
std::string searchCalls;
HMODULE searchModule;

BOOL WINAPI StandInSetDefaultDllDirectories(DWORD flags)
{
    char text[64];
    snprintf(text, sizeof text, "SetDefaultDllDirectories(0x%lx) ", (unsigned long)flags);
    searchCalls += text;
    return searchRow->defaultWorks;
}

BOOL WINAPI StandInSetDllDirectoryA(LPCSTR path)
{
    searchCalls += path == nullptr ? std::string("SetDllDirectoryA(null) ")
                                   : "SetDllDirectoryA(\"" + std::string(path) + "\") ";
    return searchRow->directoryWorks;
}

FARPROC WINAPI StandInLookup(HMODULE module, LPCSTR name)
{
    searchModule = module;
    if (strcmp(name, "SetDefaultDllDirectories") == 0 && searchRow->hasDefault)
        return (FARPROC)(void *)StandInSetDefaultDllDirectories;
    if (strcmp(name, "SetDllDirectoryA") == 0 && searchRow->hasDirectory)
        return (FARPROC)(void *)StandInSetDllDirectoryA;
    return nullptr;
}

TEST(Startup, DllSearchIsNarrowedAsFarAsTheSystemAllows)
{
    /* Wine always has SetDefaultDllDirectories; the systems without it are
       shown by hiding it from the lookup. Where only SetDllDirectoryA
       exists, the empty string takes the current folder out of the search (a
       null pointer would put the default search back). */
    const SearchRow rows[] = {
        {"Windows 8 and later", true, true, true, true, kDllSearchSystemOnly, "SetDefaultDllDirectories(0x800) "},
        {"XP SP1 to 7 without the update", false, false, true, true, kDllSearchNoCurrent, "SetDllDirectoryA(\"\") "},
        {"SetDefaultDllDirectories refuses", true, false, true, true, kDllSearchNoCurrent,
         "SetDefaultDllDirectories(0x800) SetDllDirectoryA(\"\") "},
        {"SetDllDirectoryA refuses", false, false, true, false, kDllSearchUnchanged, "SetDllDirectoryA(\"\") "},
        {"Windows 95 to 2000: neither", false, false, false, false, kDllSearchUnchanged, ""},
    };
    for (const SearchRow &r : rows) {
        SCOPED_TRACE(r.what);
        searchRow = &r;
        searchCalls.clear();
        searchModule = nullptr;
        EXPECT_EQ(r.result, RestrictDllSearch(StandInLookup));
        EXPECT_EQ(r.calls, searchCalls);
        EXPECT_EQ(GetModuleHandleA("kernel32.dll"), searchModule) << "looked up elsewhere than in kernel32";
    }
}

TEST(Startup, LibraryPathNeverOverflows)
{
    char out[16];
    EXPECT_EQ(1, JoinLibraryPath("c:\\sys", "a.dll", out, sizeof out));
    EXPECT_STREQ("c:\\sys\\a.dll", out);
    EXPECT_EQ(1, JoinLibraryPath("c:\\system", "a.dll", out, sizeof out));  /* 15 + terminator */
    EXPECT_EQ(0, JoinLibraryPath("c:\\system3", "a.dll", out, sizeof out));
    EXPECT_STREQ("", out);
}

/* Wine prefers its own built-in Ctl3d32.dll wherever a file of that name
   lies; tell it to take the stand-ins, so that a planted library would be
   loaded as it would be on Windows. */
class Ctl3dTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            static const char order[] = "native,builtin";
            RegSetValueExA(key, "ctl3d32", 0, REG_SZ, (const BYTE *)order, sizeof order);
            RegCloseKey(key);
        }
    }
};

TEST_F(Ctl3dTest, PlantedLibraryBesideTheProgramIsIgnored)
{
    /* A "Ctl3d32.dll" lies beside this program (the build puts the stand-in
       there). The installer takes the system folder's library. */
    std::string planted = OwnFolder() + "\\Ctl3d32.dll";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(planted.c_str())) << planted;
    char systemFolder[MAX_PATH];
    GetSystemDirectoryA(systemFolder, MAX_PATH);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HMODULE library = LoadCtl3d(instance, nullptr);
    ASSERT_NE(nullptr, library) << "the system folder has no usable Ctl3d32.dll";
    EXPECT_EQ(Lower(std::string(systemFolder) + "\\ctl3d32.dll"), ModulePath(library));
    EXPECT_EQ(nullptr, GetProcAddress(library, "CallLog"));
    FreeCtl3d(instance);

    /* The same name without a folder would have taken the planted one. */
    HMODULE bare = LoadLibraryA("Ctl3d32.dll");
    EXPECT_EQ(Lower(planted), ModulePath(bare));
    FreeLibrary(bare);
}

TEST_F(Ctl3dTest, RegistersWithAllThreeEntryPoints)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HMODULE library = LoadCtl3d(instance, OwnFolder().c_str());
    ASSERT_NE(nullptr, library);
    std::string handle = PointerText(instance);
    EXPECT_EQ("Register(" + handle + ") AutoSubclass(" + handle + ") ", CallLogOf(library));

    /* Keep the module loaded past FreeCtl3d to read its log. */
    HMODULE hold = LoadLibraryA(ModulePath(library).c_str());
    FreeCtl3d(instance);
    EXPECT_EQ("Register(" + handle + ") AutoSubclass(" + handle + ") Unregister(" + handle + ") ",
              CallLogOf(hold));
    FreeLibrary(hold);
}

TEST_F(Ctl3dTest, MissingEntryPointFreesTheLibrary)
{
    std::string folder = OwnFolder() + "\\partial_ctl3d";
    std::string path = folder + "\\Ctl3d32.dll";
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_EQ(nullptr, LoadCtl3d(instance, folder.c_str()));
    EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str())) << "library left loaded";

    HMODULE probe = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, probe) << path;
    EXPECT_EQ("", CallLogOf(probe)) << "neither registration nor unregistration runs";
    FreeCtl3d(instance);   /* nothing kept, nothing to undo */
    EXPECT_EQ("", CallLogOf(probe));
    FreeLibrary(probe);
}

TEST_F(Ctl3dTest, AbsentLibrary)
{
    EXPECT_EQ(nullptr, LoadCtl3d(GetModuleHandleA(nullptr), "c:\\no such folder"));
}

TEST_F(Ctl3dTest, ErrorModeIsSetBeforeAnythingCanFail)
{
    /* A folder that leaves no room for the library's path fails before any
       load, as a failed system-folder lookup does: the mode is set all the
       same. */
    SetErrorMode(0);
    std::string deep = "c:\\" + std::string(MAX_PATH, 'd');
    EXPECT_EQ(nullptr, LoadCtl3d(GetModuleHandleA(nullptr), deep.c_str()));
    UINT mode = SetErrorMode(0);
    EXPECT_EQ((UINT)SEM_NOOPENFILEERRORBOX, mode & SEM_NOOPENFILEERRORBOX);

    SetErrorMode(0);
    EXPECT_EQ(nullptr, LoadCtl3d(GetModuleHandleA(nullptr), "c:\\no such folder"));
    mode = SetErrorMode(0);
    EXPECT_EQ((UINT)SEM_NOOPENFILEERRORBOX, mode & SEM_NOOPENFILEERRORBOX);
}

}  // namespace

#ifdef YELK_PLANT_PROBE
/* A DLL that lies beside a downloaded program under a name the program (or a
   system DLL in it) loads by bare name runs inside it, unless the start-up
   routine has narrowed the search first. plant_probe.exe lies beside two
   planted DLLs, each leaving a mark file when loaded; it runs once per row
   in a process of its own, since the narrowed search holds for the process. */
class PlantedDllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        /* Wine would take its own msimg32 over one beside the program; as on
           Windows, the file found first in the search must win. */
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            static const char order[] = "native,builtin";
            RegSetValueExA(key, "msimg32", 0, REG_SZ, (const BYTE *)order, sizeof order);
            RegCloseKey(key);
        }
    }

    /* Runs the probe; its exit code, or -1 when it could not be started. */
    static int Probe(const char *mode, const char *name)
    {
        std::string command = std::string("\"") + YELK_PLANT_PROBE + "\" " + mode + " " + name;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return -1;
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = (DWORD)-1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return (int)code;
    }
};

TEST_F(PlantedDllTest, StartupRoutineKeepsDllsBesideTheProgramOut)
{
    const char *mark = "c:\\planted-dll.mark";
    SetEnvironmentVariableA("YELK_PLANT_MARK", mark);
    struct Row {
        const char *mode, *name;
        bool marked;    /* the planted DLL's code ran */
        int exitCode;   /* 10 × the routine's result (2: system folder only) + 1 if not loaded */
    } rows[] = {
        /* A made-up name: found only beside the program, so after the routine
           nothing is loaded at all. */
        {"plain", "yelkplant.dll", true, 0},
        {"restricted", "yelkplant.dll", false, 21},
        /* A system DLL's name: after the routine the system folder's own loads. */
        {"plain", "msimg32.dll", true, 0},
        {"restricted", "msimg32.dll", false, 20},
    };
    for (const Row &r : rows) {
        DeleteFileA(mark);
        EXPECT_EQ(r.exitCode, Probe(r.mode, r.name)) << r.mode << " " << r.name;
        EXPECT_EQ(r.marked, GetFileAttributesA(mark) != INVALID_FILE_ATTRIBUTES)
            << r.mode << " " << r.name << (r.marked ? ": the planted DLL did not run, so this"
                                                      " Wine does not show the fault"
                                                    : ": the planted DLL ran");
    }
    DeleteFileA(mark);
}

#ifdef YELK_PLANTED_SETUP
/* Where the module of that name loaded in process pid came from (lower
   case), or "" when it is not loaded. */
static std::string LoadedModulePath(DWORD pid, const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return "";
    std::string path;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more && path.empty(); more = Module32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szModule, name) == 0)
            path = Lower(entry.szExePath);
    CloseHandle(snapshot);
    return path;
}

/* Has the process load name by bare name, late, on a thread of its own, as a
   system DLL inside it would: LoadLibraryA run there. 1 when it loaded, 0
   when not, -1 when the thread could not be run. */
static int LoadLateIn(HANDLE process, const char *name)
{
    SIZE_T size = strlen(name) + 1;
    void *remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr || !WriteProcessMemory(process, remote, name, size, nullptr))
        return -1;
    /* kernel32 lies at the same address in every process. */
    LPTHREAD_START_ROUTINE load =
        (LPTHREAD_START_ROUTINE)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
    if (thread == nullptr)
        return -1;
    DWORD code = 0;
    bool ended = WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ended ? code != 0 : -1;
}

TEST_F(PlantedDllTest, TheInstallerItselfNarrowsTheSearchAtItsStart)
{
    /* setup32.exe lies beside the planted DLLs too. Once its wizard shows,
       each is loaded by bare name in the installer's own process: its
       start-up has narrowed the search by then, so the made-up name is
       found nowhere and the system DLL's name gives the system folder's
       library; neither planted DLL runs. (Wine's own delay-loads, such as
       its theming's msimg32.dll when the wizard draws a scroll bar, still
       search the program's folder whatever the process asked for: that is
       why the loads are made here, on the wizard's first page, before any
       scroll bar is drawn.) */
    const char *mark = "c:\\planted-setup.mark";
    SetEnvironmentVariableA("YELK_PLANT_MARK", mark);
    DeleteFileA(mark);
    std::string command = "\"" YELK_PLANTED_SETUP "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    HWND wizard = drive::WaitDialog(drive::kWizardCaption, 30000);
    bool firstPage = wizard != nullptr && drive::WaitPage(wizard, 0);
    int madeUp = firstPage ? LoadLateIn(process.hProcess, "yelkplant.dll") : -1;
    int system = firstPage ? LoadLateIn(process.hProcess, "msimg32.dll") : -1;
    std::string systemFrom = LoadedModulePath(process.dwProcessId, "msimg32.dll");
    bool marked = GetFileAttributesA(mark) != INVALID_FILE_ATTRIBUTES;
    /* Nothing is installed yet: the wizard is on its first page. */
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileA(mark);

    ASSERT_TRUE(firstPage) << "the installer showed no wizard";
    EXPECT_FALSE(marked) << "a planted DLL ran inside the installer";
    EXPECT_EQ(0, madeUp) << "yelkplant.dll was loaded (-1: no thread could be run in the installer)";
    EXPECT_EQ(1, system) << "msimg32.dll was not loaded (-1: no thread could be run in the installer)";
    char systemFolder[MAX_PATH];
    GetSystemDirectoryA(systemFolder, MAX_PATH);
    EXPECT_EQ(Lower(std::string(systemFolder) + "\\msimg32.dll"), systemFrom);
}
#endif
#endif
