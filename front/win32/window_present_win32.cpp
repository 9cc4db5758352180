// The Screen Saver settings' preview on Windows: a child window of the one Windows gives, the picture drawn into it with GDI.
#include "platform.h"

#include "display_loss.h"

#include <string>

#include <windows.h>

static HWND parent = nullptr, child = nullptr;
static int picture_w = 0, picture_h = 0;
static int window_w = 0, window_h = 0;
static picture_layout layout;

bool window_present_scr_previews() { return true; }

// The child covers the parent's client area; the picture is laid out in it as on a screen.
static void fit_to_parent()
{
    RECT r = {};
    GetClientRect(parent, &r);
    window_w = r.right - r.left;
    window_h = r.bottom - r.top;
    MoveWindow(child, 0, 0, window_w, window_h, TRUE);
    layout = layout_picture({0, 0, window_w, window_h}, picture_w, picture_h);
}

bool window_present_open(unsigned long window, int w, int h, std::string *why)
{
    parent = (HWND)(uintptr_t)window;
    if (!IsWindow(parent)) {
        *why = "there is no window " + std::to_string(window);
        return false;
    }
    picture_w = w;
    picture_h = h;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = L"life_preview";
    RegisterClassW(&wc);
    child = CreateWindowExW(0, wc.lpszClassName, L"Life", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0, 1, 1, parent,
                            nullptr, wc.hInstance, nullptr);
    if (!child) {
        *why = "no window can be made in window " + std::to_string(window);
        return false;
    }
    fit_to_parent();
    return true;
}

// Rows of 0xRRGGBB are a top-down 32-bit DIB as they are (blue, green, red, unused in memory).
static BITMAPINFO dib_of(const picture_rows &rows)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = rows.w;
    info.bmiHeader.biHeight = -rows.h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void window_present_picture(const picture_rows &picture, int x0, int y0, int x1, int y1)
{
    if (!child || picture.h <= 0)
        return;
    const pixel_rect part = layout_clipped_span(layout, picture.w, picture.h, x0, y0, x1, y1);
    if (part.w <= 0 || part.h <= 0)
        return;
    // A preview is small: the whole picture is drawn again, which spares StretchDIBits' source
    // rectangles their bottom-up counting.  The rows are one block (an Allegro memory bitmap).
    const BITMAPINFO info = dib_of(picture);
    const HDC dc = GetDC(child);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, layout.place.x, layout.place.y, layout.place.w, layout.place.h, 0, 0, picture.w, picture.h,
                  picture.rows[0], &info, DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(child, dc);
}

void window_present_unscaled(const picture_rows &pixels, int x, int y)
{
    if (!child || pixels.h <= 0)
        return;
    const BITMAPINFO info = dib_of(pixels);
    const HDC dc = GetDC(child);
    SetDIBitsToDevice(dc, x, y, pixels.w, pixels.h, 0, 0, 0, pixels.h, pixels.rows[0], &info, DIB_RGB_COLORS);
    ReleaseDC(child, dc);
}

bool window_present_margin(pixel_rect &band) { return child && layout_margin({0, 0, window_w, window_h}, layout, band); }

void window_present_clear()
{
    if (!child)
        return;
    const HDC dc = GetDC(child);
    const RECT all = {0, 0, window_w, window_h};
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(child, dc);
}

bool window_present_follow_size()
{
    if (!child)
        return false;
    // The child's messages are this thread's to answer.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    // The settings dialog closes the preview by destroying its little window.
    if (!IsWindow(parent) || !IsWindow(child)) {
        display_loss_window_gone("the preview's window went away");
        child = nullptr;
        return false;
    }
    RECT r = {};
    GetClientRect(parent, &r);
    if (r.right - r.left == window_w && r.bottom - r.top == window_h)
        return false;
    fit_to_parent();
    window_present_clear();
    return true;
}

void window_present_sync() { GdiFlush(); }

bool window_present_shared() { return false; }

void window_present_close()
{
    if (child && IsWindow(child))
        DestroyWindow(child);
    child = nullptr;
}
