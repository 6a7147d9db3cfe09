/*
 * The process entry point of setup32.exe, in place of the C runtime's start-up.
 * It first narrows the DLL search to the system folder (RestrictDllSearch).
 * The installer has no static constructors, reads no command line and registers
 * nothing to run at exit, so all it needs is WinMain's arguments and
 * ExitProcess with WinMain's result. msvcrt.dll sets itself up when it is
 * loaded; every file the installer writes is closed before WinMain returns, so
 * nothing is left for the C library's exit to flush.
 */
#include <windows.h>

#include <cstddef>

#include "app/startup.h"

/* The image's load configuration: only DependentLoadFlags is set, so that
   from Windows 10 1607 on what the static imports pull in while the process
   starts comes from the system folder too (RestrictDllSearch covers what is
   loaded later). Its size ends before the structured-exception handler
   table, which leaves the handler checks as for an image without it. GNU ld
   does not point the directory entry at it; cmake/set-load-config.py does
   after the link. */
extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    .Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SEHandlerTable),
    .Reserved1 = 0x0800 /* DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32 */
};

/* The linker's symbol at the module's first byte: the instance handle. */
extern "C" IMAGE_DOS_HEADER __ImageBase;

/* Named by the link (-e). The loader calls it with the stack aligned to 4
   bytes only; the compiler may assume more in what it calls. */
extern "C" __attribute__((noreturn, force_align_arg_pointer)) void SetupEntry()
{
    /* Before anything else can load a DLL: none from the download folder. */
    RestrictDllSearch();
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    /* WinMain ignores its command line: an empty one. */
    ExitProcess(WinMain((HINSTANCE)&__ImageBase, nullptr, const_cast<LPSTR>(""), show));
}
