/*
 * Pictures of the wizard for the documentation: the real INSTALL_DLG with its
 * real dialog procedure on each of the five pages (the progress page with both
 * bars part-way), and the folder chooser, each saved as a BMP into the folder
 * named by the first argument. Run by tests/win32/render_pages.sh under Xvfb.
 */
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "common/ids.h"
#include "common/platform.h"
#include "common/session.h"
#include "payload/container.h"
#include "wizard/dialog.h"
#include "wizard/wizard.h"

/* The pictures never reach the payload check. */
uint32_t ExpectedPayloadCrc()
{
    return 0;
}

namespace {

void Pump(int ms)
{
    DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while ((int)(end - GetTickCount()) > 0);
}

/* Saves the screen area of `window` (caption and frame included) as a 24-bit BMP. */
bool SaveWindow(HWND window, const std::string &path)
{
    RECT r;
    GetWindowRect(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    int stride = (w * 3 + 3) & ~3;
    std::string pixels(stride * h, '\0');
    GetDIBits(memory, bitmap, 0, h, &pixels[0], (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        return false;
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info, sizeof info, 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    return fclose(out) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: wizard_pictures OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    session.appInstance = GetModuleHandleA(nullptr);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "INSTALL_DLG", nullptr, InstallDlgProc, 0);
    if (!dialog)
        return 1;
    SetForegroundWindow(dialog);
    Pump(500);

    const char *const names[] = {"page0-welcome", "page1-licence", "page2-folder", "page3-progress",
                                 "page4-finish"};
    int failed = 0;
    for (int page = 0; page <= 4; page++) {
        SetPage(dialog, (WizardPage)page);
        // Drawn as the active window it is for a user (no window manager here).
        SetActiveWindow(dialog);
        SendMessageA(dialog, WM_NCACTIVATE, TRUE, 0);
        if (page == 3) {
            // Part-way through the third file: both bars painted as the
            // extraction would leave them.
            RECT bar;
            GetWindowRect(GetDlgItem(dialog, IDC_OVERALLBAR), &bar);
            session.overallFill = (bar.right - bar.left) * 37 / 100;
            SetStatusText("Scanning file: primer.hlp");
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            DrawFileProgress(nullptr, 620, 1000);
        }
        Pump(300);
        if (!SaveWindow(dialog, folder + "\\" + names[page] + ".bmp"))
            failed = 1;
    }

    // The chooser as Browse opens it the first time, from the options page.
    SetPage(dialog, kPageFolder);
    Pump(200);
    GetDlgItemTextA(dialog, IDC_FOLDERTEXT, session.destDir, kPathSize);
    CharLowerA(session.destDir);
    std::thread shooter([&] {
        HWND chooser = nullptr;
        for (int i = 0; i < 500 && !(chooser = FindWindowA("#32770", "Yelk Select Folder")); i++)
            Sleep(10);
        if (!chooser) {
            failed = 1;
            return;
        }
        Sleep(700);
        if (!SaveWindow(chooser, folder + "\\chooser.bmp"))
            failed = 1;
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(chooser, IDCANCEL));
    });
    BrowseForFolder(dialog);
    shooter.join();
    DestroyWindow(dialog);
    return failed;
}
