// A desktop shell for the scenarios, since Wine's own desktop shows no icons:
//
//   fake-shell LOG [arrange] [cover]
//
// It makes the window chain a desktop has (a top-level "Progman" window
// holding a "SHELLDLL_DefView" window holding a "SysListView32" list view in
// icon view) over the whole screen, shows one icon per .lnk file of the
// user's desktop folder (looked at again every 200 ms), and opens a
// shortcut when its icon is double-clicked. "arrange" gives the list view
// the auto-arrange style; "cover" opens a window over the whole desktop,
// which Windows+D hides and a second Windows+D brings back.
//
// LOG receives one line per event:
//   ready FOLDER                 the windows exist and the folder was read
//   add NAME / remove NAME       an icon came or went
//   down X Y / dblclk X Y        a left button press, a double-click (screen)
//   open NAME                    a double-clicked icon was opened
//   style OLD NEW                the list view's style changed (hexadecimal)
//   move NAME X Y                an icon was placed at (X, Y)
//   key VK down|up               a key went through the keyboard hook
//   showdesktop hidden|shown     Windows+D toggled the covering window
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char* gLogPath = "";
std::string gDesktop;
HWND gListView = nullptr;
HWND gCover = nullptr;
WNDPROC gListViewProc = nullptr;
std::vector<std::string> gNames;  // item parameter -> name, for every icon ever shown
bool gWindowsKeyDown = false;

constexpr UINT_PTR kScanTimer = 1;
constexpr UINT kScanMs = 200;

// A reader that does not share writing keeps the file for a moment; the
// line waits for it rather than getting lost.
void Log(const std::string& line)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(gLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Hex(LONG_PTR value)
{
    char text[32];
    snprintf(text, sizeof text, "%lX", static_cast<unsigned long>(value));
    return text;
}

std::set<std::string> ShortcutNames()
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((gDesktop + "\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string file = found.cFileName;
        names.insert(file.substr(0, file.size() - 4));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string NameOfItem(int index)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageA(gListView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) || item.lParam < 0 ||
        static_cast<size_t>(item.lParam) >= gNames.size())
        return {};
    return gNames[static_cast<size_t>(item.lParam)];
}

// Icons follow the shortcut files: new files get an icon, gone files lose theirs.
void Rescan()
{
    std::set<std::string> files = ShortcutNames();
    for (int i = static_cast<int>(SendMessageA(gListView, LVM_GETITEMCOUNT, 0, 0)) - 1; i >= 0; --i) {
        const std::string name = NameOfItem(i);
        if (files.erase(name) == 0) {
            SendMessageA(gListView, LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
            Log("remove " + name);
        }
    }
    for (const std::string& name : files) {
        gNames.push_back(name);
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
        item.iItem = static_cast<int>(SendMessageA(gListView, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<char*>(name.c_str());
        item.lParam = static_cast<LPARAM>(gNames.size() - 1);
        item.iImage = 0;
        SendMessageA(gListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        Log("add " + name);
    }
}

void OpenItem(int index)
{
    const std::string name = NameOfItem(index);
    if (name.empty())
        return;
    Log("open " + name);
    ShellExecuteA(nullptr, nullptr, (gDesktop + "\\" + name + ".lnk").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string At(LPARAM lParam, HWND window)
{
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(window, &point);
    return std::to_string(point.x) + " " + std::to_string(point.y);
}

LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN: Log("down " + At(lParam, window)); break;
    case WM_LBUTTONDBLCLK: Log("dblclk " + At(lParam, window)); break;
    case WM_STYLECHANGED:
        if (wParam == static_cast<WPARAM>(GWL_STYLE)) {
            const auto* change = reinterpret_cast<const STYLESTRUCT*>(lParam);
            Log("style " + Hex(change->styleOld) + " " + Hex(change->styleNew));
        }
        break;
    case LVM_SETITEMPOSITION:
        Log("move " + NameOfItem(static_cast<int>(wParam)) + " " + std::to_string(static_cast<short>(LOWORD(lParam))) +
            " " + std::to_string(static_cast<short>(HIWORD(lParam))));
        break;
    default: break;
    }
    return CallWindowProcA(gListViewProc, window, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == gListView && header->code == NM_DBLCLK) {
            const auto* activation = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
            if (activation->iItem >= 0)
                OpenItem(activation->iItem);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ProgmanProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER: Rescan(); return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK CoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ToggleCover()
{
    if (gCover == nullptr)
        return;
    const bool visible = IsWindowVisible(gCover) != FALSE;
    ShowWindow(gCover, visible ? SW_HIDE : SW_SHOWNOACTIVATE);
    Log(visible ? "showdesktop hidden" : "showdesktop shown");
}

LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = (key->flags & LLKHF_UP) != 0;
        Log("key " + std::to_string(key->vkCode) + (up ? " up" : " down"));
        if (key->vkCode == VK_LWIN || key->vkCode == VK_RWIN)
            gWindowsKeyDown = !up;
        else if (key->vkCode == 'D' && !up && gWindowsKeyDown)
            ToggleCover();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Register(const char* name, WNDPROC procedure, HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_DESKTOP + 1);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 2;
    gLogPath = __argv[1];
    bool arrange = false, cover = false;
    for (int i = 2; i < __argc; ++i) {
        arrange = arrange || strcmp(__argv[i], "arrange") == 0;
        cover = cover || strcmp(__argv[i], "cover") == 0;
    }
    char desktop[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        return 1;
    gDesktop = desktop;

    InitCommonControls();
    Register("Progman", ProgmanProc, instance);
    Register("SHELLDLL_DefView", ViewProc, instance);
    Register("FakeShellCover", CoverProc, instance);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND progman = CreateWindowExA(WS_EX_TOOLWINDOW, "Progman", "Program Manager", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                   height, nullptr, nullptr, instance, nullptr);
    HWND view = CreateWindowExA(0, "SHELLDLL_DefView", "", WS_CHILD | WS_VISIBLE, 0, 0, width, height, progman, nullptr,
                                instance, nullptr);
    gListView = CreateWindowExA(0, WC_LISTVIEWA, "FolderView",
                                WS_CHILD | WS_VISIBLE | LVS_ICON | (arrange ? LVS_AUTOARRANGE : 0), 0, 0, width, height,
                                view, nullptr, instance, nullptr);
    if (progman == nullptr || view == nullptr || gListView == nullptr)
        return 1;
    HIMAGELIST images = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
    ImageList_AddIcon(images, LoadIcon(nullptr, IDI_APPLICATION));
    SendMessageA(gListView, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    gListViewProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(gListView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListViewProc)));
    SetWindowPos(progman, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (cover)
        gCover = CreateWindowExA(WS_EX_TOOLWINDOW, "FakeShellCover", "Cover", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                 height, nullptr, nullptr, instance, nullptr);
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, instance, 0);
    Rescan();
    SetTimer(progman, kScanTimer, kScanMs, nullptr);
    Log("ready " + gDesktop);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    return 0;
}
