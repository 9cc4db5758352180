// The monitors other than the one the picture goes on, covered black for as long as the screen saver runs.
#include "other_monitors_win32.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <windows.h>

static std::vector<RECT> others;

static BOOL CALLBACK add_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM list)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        ((std::vector<std::pair<RECT, bool>> *)list)->push_back({info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

// The monitors as Windows lists them, or as LIFE_MONITORS lists them ("x,y,w,h;x,y,w,h;...", the
// first being the main one): Wine shows one monitor, so the tests give the program several this way.
static std::vector<std::pair<RECT, bool>> monitors()
{
    std::vector<std::pair<RECT, bool>> list;
    if (const char *given = std::getenv("LIFE_MONITORS")) {
        for (const char *at = given; *at;) {
            int x, y, w, h, used = 0;
            if (std::sscanf(at, "%d,%d,%d,%d%n", &x, &y, &w, &h, &used) != 4 || w <= 0 || h <= 0)
                break;
            list.push_back({RECT{x, y, x + w, y + h}, list.empty()});
            at += used;
            if (*at == ';')
                at++;
        }
        if (!list.empty())
            return list;
    }
    EnumDisplayMonitors(nullptr, nullptr, add_monitor, (LPARAM)&list);
    return list;
}

bool main_monitor(pixel_rect &out)
{
    for (const auto &m : monitors())
        if (m.second) {
            out = {m.first.left, m.first.top, m.first.right - m.first.left, m.first.bottom - m.first.top};
            return true;
        }
    return false;
}

// The black windows live on a thread of their own, which answers their messages while the main
// thread runs the world.
static DWORD WINAPI cover(void *)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.hCursor = nullptr; // no pointer over the black, as over the picture
    wc.lpszClassName = L"life_black_monitor";
    RegisterClassW(&wc);
    for (const RECT &r : others) {
        const HWND w = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"Life",
                                       WS_POPUP, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                       wc.hInstance, nullptr);
        if (w)
            ShowWindow(w, SW_SHOWNOACTIVATE);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

void cover_other_monitors()
{
    for (const auto &m : monitors())
        if (!m.second)
            others.push_back(m.first);
    if (others.empty())
        return;
    // The process ends with the run; the thread and its windows go with it.
    const HANDLE thread = CreateThread(nullptr, 0, cover, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
}
