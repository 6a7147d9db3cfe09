// Path splitting, the native path rule, the POSIX file layer's defences and
// the message table, the installer's text formatter.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/format.h"
#include "common/messages.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/posix/posix_platform.h"
#include "tests/support/filebytes.h"

using testsupport::Bytes;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

struct SplitCase {
    const char *path, *drive, *dir, *name, *ext;
};

TEST(SplitPath, TakesWindowsPathsApart)
{
    const SplitCase cases[] = {
        {"c:\\yelk\\yelk32.exe", "c:", "\\yelk\\", "yelk32", ".exe"},
        {"c:\\yelk\\\\yelk.hlp", "c:", "\\yelk\\\\", "yelk", ".hlp"},
        {"c:\\a.ini\\b\\macros", "c:", "\\a.ini\\b\\", "macros", ""},
        {"c:\\yelk\\archive.tar.gz", "c:", "\\yelk\\", "archive.tar", ".gz"},
        {"yelk.ini", "", "", "yelk", ".ini"},
        {"\\yelk.ini", "", "\\", "yelk", ".ini"},
        {"z:", "z:", "", "", ""},
        {"", "", "", "", ""},
    };
    for (const SplitCase &c : cases) {
        PathParts parts;
        SplitPath(c.path, &parts);
        EXPECT_STREQ(parts.drive, c.drive) << c.path;
        EXPECT_STREQ(parts.dir, c.dir) << c.path;
        EXPECT_STREQ(parts.name, c.name) << c.path;
        EXPECT_STREQ(parts.ext, c.ext) << c.path;
    }
}

TEST(SplitPath, CutsOverlongPartsToTheirBuffers)
{
    std::string longName(500, 'n');
    std::string path = "c:\\" + longName + ".ini";
    PathParts parts;
    SplitPath(path.c_str(), &parts);
    EXPECT_EQ(strlen(parts.name), sizeof parts.name - 1);
    EXPECT_STREQ(parts.ext, ".ini");
}

TEST(NativePaths, DriveZIsTheLinuxRootAndOtherDrivesStayUnderTheDriveRoot)
{
    SetDriveRoot("/tmp/drives");
    EXPECT_EQ(ToLinuxPath("z:\\tmp\\x\\yelk.ini"), "/tmp/x/yelk.ini");
    EXPECT_EQ(ToLinuxPath("Z:\\"), "/");
    EXPECT_EQ(ToLinuxPath("c:\\yelk.tmp"), "/tmp/drives/c/yelk.tmp");
    EXPECT_EQ(ToLinuxPath("d:yelk.tmp"), "/tmp/drives/d/yelk.tmp");
    EXPECT_EQ(ToWindowsPath("/tmp/x/yelk.ini"), "z:\\tmp\\x\\yelk.ini");
}

/* The file layer's defences on real files: inside the folder a run is
   confined to no name is reached through a link, and only regular files are
   opened anywhere (a folder for reading alone). */
class PosixFiles : public ::testing::Test {
protected:
    std::string dir, dest, victim;
    const Bytes victimBytes = Bytes{'m', 'i', 'n', 'e'};

    void SetUp() override
    {
        char tmpl[] = "/tmp/yelk-posixfiles-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        dest = dir + "/dest";
        victim = dir + "/victim";
        ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
        ASSERT_TRUE(WriteFileBytes(victim, victimBytes));
        ConfineToFolder(dest);
    }
    void TearDown() override
    {
        ConfineToFolder("");
        std::string cmd = "rm -rf '" + dir + "'";
        (void)system(cmd.c_str());
    }

    static std::string Win(const std::string &linuxPath) { return ToWindowsPath(linuxPath); }
};

TEST_F(PosixFiles, ALinkInsideTheConfinedFolderIsNeverOpenedThrough)
{
    ASSERT_EQ(mkdir((dest + "/sub").c_str(), 0755), 0);
    for (const char *name : {"/link", "/sub/link"})
        ASSERT_EQ(symlink(victim.c_str(), (dest + name).c_str()), 0);
    for (const char *name : {"/link", "/sub/link"}) {
        for (const char *mode : {"rb", "r+b", "wb", "ab"}) {
            SCOPED_TRACE(std::string(name) + " " + mode);
            FILE *f = OpenFileStream(Win(dest + name).c_str(), mode);
            EXPECT_EQ(f, nullptr) << "opened through the link";
            if (f)
                fclose(f);
            EXPECT_TRUE(ReadFileBytes(victim) == victimBytes) << "the file the link points to changed";
        }
    }
    // The same link outside a confined folder is followed, as any path is:
    // the refusal above is the confinement's.
    ConfineToFolder("");
    FILE *f = OpenFileStream(Win(dest + "/link").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fgetc(f), 'm');
    fclose(f);
}

TEST_F(PosixFiles, OnlyRegularFilesAreOpenedAndNothingBlocks)
{
    ASSERT_EQ(mkfifo((dest + "/fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
    struct Case {
        const char *what;
        std::string path;
        const char *mode;
        bool opens;
    } cases[] = {
        {"a FIFO in the confined folder", dest + "/fifo", "rb", false},
        {"a FIFO in the confined folder, for update", dest + "/fifo", "r+b", false},
        {"a FIFO elsewhere", dir + "/fifo", "rb", false},
        {"a device", "/dev/null", "rb", false},
        {"a folder, for writing", dest, "ab", false},
        {"a folder, for reading: its first read fails", dest, "rb", true},
        {"a regular file", victim, "rb", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FILE *f = OpenFileStream(Win(c.path).c_str(), c.mode);
        EXPECT_EQ(f != nullptr, c.opens);
        if (f)
            fclose(f);
    }
}

TEST(DestinationFolder, OnlyFullPathsThatLeaveRoomForWhatIsComposedFromThem)
{
    const std::string c = "c:\\";
    const struct {
        std::string folder;
        int usable;
        const char *what;
    } cases[] = {
        {"c:\\yelk", 1, "drive and folder"},
        {"D:\\Yelk\\", 1, "capital drive, trailing separator"},
        {"c:\\", 1, "a drive's root"},
        {"c:/yelk", 1, "the other separator"},
        {"\\\\server\\share\\yelk", 1, "UNC"},
        {"\\\\server\\share", 1, "UNC share itself"},
        {"RelYelk", 0, "relative"},
        {"yelk\\sub", 0, "relative with a folder"},
        {"c:yelk", 0, "relative to the drive's current folder"},
        {"\\yelk", 0, "relative to the current drive"},
        {"c:", 0, "drive alone"},
        {"", 0, "empty"},
        {"1:\\yelk", 0, "no drive letter"},
        {"\\\\server", 0, "UNC without a share"},
        {"\\\\server\\", 0, "UNC with an empty share"},
        {"\\\\\\share", 0, "UNC without a server"},
        {c + std::string(232, 'y'), 1, "235 characters: the longest"},
        {c + std::string(233, 'y'), 0, "236 characters"},
        {c + std::string(250, 'y'), 0, "253 characters"},
        // Names the system cannot make as folders.
        {"c:\\yelk ", 0, "ends in a space"},
        {"c:\\yelk.", 0, "ends in a dot"},
        {"c:\\apps.\\yelk", 1, "a folder on the way: left to the folder's creation"},
        {"c:\\nul", 0, "device nul"},
        {"c:\\CON", 0, "device con, capitals"},
        {"c:\\prn.txt", 0, "device prn with an extension"},
        {"c:\\aux .x", 0, "device aux, spaces and an extension"},
        {"c:\\yelk. \\", 0, "a trailing separator after a name ending in a space"},
        {"c:\\com1", 0, "com1"},
        {"c:\\lpt9.log", 0, "lpt9 with an extension"},
        {"\\\\server\\share\\con", 0, "device on a share"},
        {"c:\\com0", 1, "com0 is a name"},
        {"c:\\com10", 1, "com10 is a name"},
        {"c:\\console", 1, "con is only the whole name"},
        {"c:\\yelk.d", 1, "a dot inside"},
        {"c:\\my yelk", 1, "a space inside"},
    };
    for (const auto &r : cases)
        EXPECT_EQ(IsUsableDestDir(r.folder.c_str()), r.usable) << r.what;

    // The longest folder leaves every composed string within 259 characters.
    std::string longest = cases[16].folder;
    ASSERT_EQ(longest.size(), 235u);
    EXPECT_EQ(("\"" + longest + "\\yelk32.exe\" -uninstall").size(), 259u);
    EXPECT_LE((longest + "\\backup\\history.txt").size(), 259u);
}

TEST(Messages, NumbersShareTheirTexts)
{
    EXPECT_STREQ(ErrorText(2), ErrorText(9));
    EXPECT_STREQ(ErrorText(4), ErrorText(5));
    EXPECT_STREQ(ErrorText(10), ErrorText(14));
    EXPECT_STREQ(ErrorText(12), "");
    EXPECT_STREQ(ErrorText(99), "");
    EXPECT_EQ(std::string(ErrorText(1)).rfind("There seems to be a problem creating the directory", 0), 0u);
}

int Format(char *out, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int length = FormatTextV(out, size, format, args);
    va_end(args);
    return length;
}

// The installer's formatter against the C library's, for every format the
// installer uses and their limits, in buffers that hold, cut or take nothing.
TEST(Format, AgreesWithTheCLibraryWithinEveryBufferSize)
{
#define YELK_FORMAT_CASE(...) {#__VA_ARGS__, [](char *o, size_t n) { return Format(o, n, __VA_ARGS__); }, \
                               [](char *o, size_t n) { return snprintf(o, n, __VA_ARGS__); }}
    struct Case {
        const char *what;
        int (*ours)(char *, size_t);
        int (*libc)(char *, size_t);
    };
    const Case cases[] = {
        YELK_FORMAT_CASE("%s\\%s", "c:\\yelk", "yelk32.exe"),
        YELK_FORMAT_CASE("\"%s\\yelk32.exe\" -uninstall", "c:\\program files\\yelk"),
        YELK_FORMAT_CASE("%s\\%syk%04X.tmp", "c:\\yelk", "backup\\", 0x2a),
        YELK_FORMAT_CASE("%s.%04X", "yelk.ini", 0xFFFF),
        YELK_FORMAT_CASE("%04X", 0x12345),
        YELK_FORMAT_CASE("%.*s%s", 8, "c:\\yelk\\yelk.hlp", "yelk.gid"),
        YELK_FORMAT_CASE("%.*s|%.*s", 0, "abc", 3, "abcdef"),
        YELK_FORMAT_CASE("Yelk Installation Error [%d]", 15),
        YELK_FORMAT_CASE("%d%%", 100),
        YELK_FORMAT_CASE("%d %d %d %X", 0, -7, -2147483647 - 1, 4294967295u),
        YELK_FORMAT_CASE("%05d|%5d|%2d|%04X", -42, -42, 12345, 0xbeef),
        YELK_FORMAT_CASE("Scanning files..."),
        YELK_FORMAT_CASE("%s", ""),
    };
#undef YELK_FORMAT_CASE
    for (const Case &c : cases) {
        for (size_t size : {(size_t)0, (size_t)1, (size_t)5, (size_t)14, (size_t)64}) {
            char ours[80], libc[80];
            memset(ours, '#', sizeof ours);
            memset(libc, '#', sizeof libc);
            EXPECT_EQ(c.ours(ours, size), c.libc(libc, size)) << c.what << " in " << size;
            EXPECT_EQ(std::string(ours, sizeof ours), std::string(libc, sizeof libc)) << c.what << " in " << size;
        }
    }
}

} // namespace
