// The settings dialog Windows opens with "/c", and the per-user registry values it keeps for every start to read.
#include "platform.h"
#include "settings.h"
#include "settings_ids.h"
#include "world.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

#include <windows.h>

namespace {

// Where screen savers keep their settings: per user, read at every start.
const wchar_t settings_key[] = L"Software\\Life";
const wchar_t population_value[] = L"Population", max_ips_value[] = L"MaxIps", show_text_value[] = L"ShowText";

// The limits offered after "Full speed", fastest first; a stored value not among them gets an entry of its own.
const long offered_ips[] = {100000, 30000, 10000, 3000, 1000, 300, 100};

bool read_dword(HKEY key, const wchar_t *name, DWORD &value)
{
    DWORD type = 0, size = sizeof value;
    return RegQueryValueExW(key, name, nullptr, &type, (BYTE *)&value, &size) == ERROR_SUCCESS && type == REG_DWORD &&
           size == sizeof value;
}

bool write_dword(HKEY key, const wchar_t *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value) == ERROR_SUCCESS;
}

bool write_settings(const run_settings &s)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settings_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool written = write_dword(key, population_value, (DWORD)s.population) &&
                         write_dword(key, max_ips_value, (DWORD)s.max_ips) &&
                         write_dword(key, show_text_value, s.show_text ? 1 : 0);
    RegCloseKey(key);
    return written;
}

void add_entry(HWND box, const wchar_t *text, long value)
{
    const LRESULT at = SendMessageW(box, CB_ADDSTRING, 0, (LPARAM)text);
    if (at >= 0)
        SendMessageW(box, CB_SETITEMDATA, (WPARAM)at, (LPARAM)value);
}

// Selects the entry holding `value`, else the first.
void select_value(HWND box, long value)
{
    const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
    LRESULT chosen = 0;
    for (LRESULT i = 0; i < count; i++)
        if (SendMessageW(box, CB_GETITEMDATA, (WPARAM)i, 0) == value)
            chosen = i;
    SendMessageW(box, CB_SETCURSEL, (WPARAM)chosen, 0);
}

long selected_value(HWND box)
{
    const LRESULT at = SendMessageW(box, CB_GETCURSEL, 0, 0);
    return at == CB_ERR ? 0 : (long)SendMessageW(box, CB_GETITEMDATA, (WPARAM)at, 0);
}

void fill_population(HWND box, int population)
{
    add_entry(box, L"The world's own", 0);
    for (int n = population_min; n <= population_max; n++) {
        wchar_t text[16];
        std::swprintf(text, sizeof text / sizeof *text, L"%d", n);
        add_entry(box, text, n);
    }
    select_value(box, population);
}

// "100,000 steps a second", grouped as the user's locale groups numbers.
void add_speed(HWND box, long ips)
{
    wchar_t digits[32], grouped[48], separator[8] = L",", text[80];
    std::swprintf(digits, sizeof digits / sizeof *digits, L"%ld", ips);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator / sizeof *separator);
    NUMBERFMTW format = {};
    format.Grouping = 3;
    format.lpDecimalSep = (wchar_t *)L".";
    format.lpThousandSep = separator;
    format.NegativeOrder = 1;
    if (GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits, &format, grouped, sizeof grouped / sizeof *grouped) == 0)
        std::wcscpy(grouped, digits);
    std::swprintf(text, sizeof text / sizeof *text, L"%ls step%ls a second", grouped, ips == 1 ? L"" : L"s");
    add_entry(box, text, ips);
}

void fill_speed(HWND box, long max_ips)
{
    add_entry(box, L"Full speed", 0);
    bool listed = max_ips == 0;
    for (long offered : offered_ips) {
        if (!listed && max_ips > offered) {
            add_speed(box, max_ips);
            listed = true;
        }
        add_speed(box, offered);
        listed = listed || max_ips == offered;
    }
    if (!listed)
        add_speed(box, max_ips);
    select_value(box, max_ips);
}

INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const run_settings &s = *(const run_settings *)lparam;
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        fill_population(GetDlgItem(dialog, LIFE_SETTINGS_POPULATION), s.population);
        fill_speed(GetDlgItem(dialog, LIFE_SETTINGS_MAX_IPS), s.max_ips);
        CheckDlgButton(dialog, LIFE_SETTINGS_SHOW_TEXT, s.show_text ? BST_CHECKED : BST_UNCHECKED);
        const HINSTANCE self = GetModuleHandleW(nullptr);
        for (int big = 0; big <= 1; big++) {
            const int side = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
            if (HANDLE icon = LoadImageW(self, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, LR_SHARED))
                SendMessageW(dialog, WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon);
        }
        // Started on its own rather than from the Screen Saver settings: a taskbar button of its own.
        if (!GetWindow(dialog, GW_OWNER))
            SetWindowLongPtrW(dialog, GWL_EXSTYLE, GetWindowLongPtrW(dialog, GWL_EXSTYLE) | WS_EX_APPWINDOW);
        return TRUE; // the focus goes to the first control, the population
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            run_settings &s = *(run_settings *)GetWindowLongPtrW(dialog, DWLP_USER);
            s.population = (int)selected_value(GetDlgItem(dialog, LIFE_SETTINGS_POPULATION));
            s.max_ips = selected_value(GetDlgItem(dialog, LIFE_SETTINGS_MAX_IPS));
            s.show_text = IsDlgButtonChecked(dialog, LIFE_SETTINGS_SHOW_TEXT) == BST_CHECKED;
            if (!write_settings(s)) {
                // Left open: the user may try again or cancel.
                MessageBoxW(dialog, L"The settings could not be saved in the registry.", L"Life Settings",
                            MB_OK | MB_ICONERROR);
                return TRUE;
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

bool settings_stored(run_settings &s)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settings_key, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool any = false;
    DWORD v = 0;
    if (read_dword(key, population_value, v) && (v == 0 || (v >= (DWORD)population_min && v <= (DWORD)population_max))) {
        s.population = (int)v;
        any = true;
    }
    if (read_dword(key, max_ips_value, v) && v <= (DWORD)max_ips_limit) {
        s.max_ips = (long)v;
        any = true;
    }
    if (read_dword(key, show_text_value, v) && v <= 1) {
        s.show_text = v != 0;
        any = true;
    }
    RegCloseKey(key);
    return any;
}

bool settings_dialog(unsigned long owner)
{
    // A handle that names no window (closed meanwhile, or a wrong number): the dialog stands alone.
    HWND parent = (HWND)(uintptr_t)owner;
    if (parent && !IsWindow(parent))
        parent = nullptr;
    run_settings chosen;
    settings_stored(chosen);
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LIFE_SETTINGS_DIALOG), parent,
                                           settings_proc, (LPARAM)&chosen);
    if (result == -1)
        std::fprintf(stderr, "life: the settings dialog could not be shown (error %lu)\n", GetLastError());
    return result != -1;
}
