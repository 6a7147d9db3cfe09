/*
 * WinMain's start-up decisions: the shell from the version word, and the 3-D
 * control library taken from the system folder only, registered only when
 * it has all three entry points.
 */
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/startup.h"

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
    char expected[64];
    snprintf(expected, sizeof expected, "Register(%p) AutoSubclass(%p) ", (void *)instance,
             (void *)instance);
    EXPECT_EQ(expected, CallLogOf(library));

    /* Keep the module loaded past FreeCtl3d to read its log. */
    HMODULE hold = LoadLibraryA(ModulePath(library).c_str());
    FreeCtl3d(instance);
    snprintf(expected, sizeof expected, "Register(%p) AutoSubclass(%p) Unregister(%p) ",
             (void *)instance, (void *)instance, (void *)instance);
    EXPECT_EQ(expected, CallLogOf(hold));
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

}  // namespace
