#include "env/desktop_icon.h"

#include <commctrl.h>

#include <cstddef>
#include <cstring>

#include "system/owned_handle.h"

namespace {

// Memory in the shell's process: one block receives an item position, the
// other an item record followed by the item's text.
constexpr SIZE_T kRemoteBlockSize = 4096;
constexpr int kRemoteTextCapacity = static_cast<int>(kDesktopItemTextSize);
// Reading and writing the shell's memory, and asking whether it runs under
// WOW64, which decides the layout of the records it reads.
constexpr DWORD kShellProcessAccess =
    PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;
constexpr LONG kAutoArrangeStyle = LVS_AUTOARRANGE;

constexpr DWORD kShowDesktopWaitMs = 1000;
constexpr DWORD kBetweenClicksMs = 250;
constexpr DWORD kAfterClicksMs = 1000;

// The records this build reads itself are the layout the rules build for a
// process of its own bitness.
static_assert(offsetof(LVITEMA, pszText) == (sizeof(void*) == 8 ? 24 : 20));
static_assert(offsetof(LVITEMA, cchTextMax) == (sizeof(void*) == 8 ? 32 : 24));
static_assert(offsetof(LVITEMA, iIndent) + sizeof(int) <=
              (sizeof(void*) == 8 ? kItemRecordBytes64 : kItemRecordBytes32));

// Functions that Windows 95 lacks, looked up when first needed.
using VirtualAllocExFunction = LPVOID(WINAPI*)(HANDLE, LPVOID, SIZE_T, DWORD, DWORD);
using VirtualFreeExFunction = BOOL(WINAPI*)(HANDLE, LPVOID, SIZE_T, DWORD);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
using SendInputFunction = UINT(WINAPI*)(UINT, INPUT*, int);

template <typename Function>
Function LookUp(const char* module, const char* name)
{
    HMODULE loaded = GetModuleHandleA(module);
    return loaded != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)))
                             : nullptr;
}

// A block of memory in another process, released on every path out.
class RemoteBlock {
public:
    explicit RemoteBlock(HANDLE process) : process_(process)
    {
        auto allocate = LookUp<VirtualAllocExFunction>("kernel32.dll", "VirtualAllocEx");
        if (allocate != nullptr)
            address_ = allocate(process, nullptr, kRemoteBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock()
    {
        auto release = LookUp<VirtualFreeExFunction>("kernel32.dll", "VirtualFreeEx");
        if (address_ != nullptr && release != nullptr)
            release(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    void* get() const { return address_; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }

private:
    HANDLE process_;
    void* address_ = nullptr;
};

// False where the system cannot tell, as on systems without WOW64.
bool IsWow64(HANDLE process)
{
    auto query = LookUp<IsWow64ProcessFunction>("kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return query != nullptr && query(process, &wow64) && wow64;
}

ItemRecordLayout LayoutOfShell(HANDLE shell)
{
    return ShellItemRecordLayout(sizeof(void*) == 8, IsWow64(GetCurrentProcess()), IsWow64(shell));
}

struct ShellItems {
    HWND listView;
    HANDLE process;
    ItemRecordLayout layout;
    const RemoteBlock& record;
};

int ItemCount(void* context)
{
    const auto& items = *static_cast<ShellItems*>(context);
    return static_cast<int>(SendMessageA(items.listView, LVM_GETITEMCOUNT, 0, 0));
}

bool ItemText(void* context, int index, char (&out)[kDesktopItemTextSize])
{
    const auto& items = *static_cast<ShellItems*>(context);
    const size_t textOffset = ItemRecordSize(items.layout);
    char* remoteText = items.record.at(textOffset);
    uint8_t record[kMaxItemRecordBytes];
    const size_t size =
        BuildTextRequest(items.layout, index, reinterpret_cast<uintptr_t>(remoteText), kRemoteTextCapacity, record);
    if (size == 0 || !WriteProcessMemory(items.process, items.record.get(), record, size, nullptr))
        return false;
    // An item the list view does not answer for would leave the previous
    // item's text in the block.
    if (!SendMessageA(items.listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(items.record.get())))
        return false;
    if (!ReadProcessMemory(items.process, remoteText, out, sizeof out, nullptr))
        return false;
    return memchr(out, '\0', sizeof out) != nullptr;
}

bool ReadItemPosition(HWND listView, HANDLE process, const RemoteBlock& block, int index, DesktopPoint* position)
{
    INT32 xy[2] = {0, 0};
    SendMessageA(listView, LVM_GETITEMPOSITION, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.get()));
    if (!ReadProcessMemory(process, block.get(), xy, sizeof xy, nullptr))
        return false;
    position->x = xy[0];
    position->y = xy[1];
    return true;
}

BOOL CALLBACK TakeListViewOf(HWND window, LPARAM found)
{
    HWND view = FindWindowExA(window, nullptr, "SHELLDLL_DefView", nullptr);
    HWND listView = view != nullptr ? FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
    if (listView == nullptr)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = listView;
    return FALSE;
}

bool FindIcon(const char* name, HWND* listView, int* index, DesktopPoint* position)
{
    *listView = FindDesktopListView();
    return *listView != nullptr && FindListViewItem(*listView, name, index, position);
}

void SendInputs(INPUT* inputs, UINT count)
{
    auto send = LookUp<SendInputFunction>("user32.dll", "SendInput");
    if (send != nullptr) {
        send(count, inputs, sizeof(INPUT));
        return;
    }
    // Windows 95 has only the older calls for the same events.
    for (UINT i = 0; i < count; ++i) {
        const INPUT& input = inputs[i];
        if (input.type == INPUT_MOUSE)
            mouse_event(input.mi.dwFlags, static_cast<DWORD>(input.mi.dx), static_cast<DWORD>(input.mi.dy), 0,
                        input.mi.dwExtraInfo);
        else
            keybd_event(static_cast<BYTE>(input.ki.wVk), static_cast<BYTE>(input.ki.wScan), input.ki.dwFlags,
                        input.ki.dwExtraInfo);
    }
}

// Windows key down, D down, D up, Windows key up.
constexpr struct {
    WORD key;
    DWORD flags;
} kShowDesktopChord[] = {
    {VK_LWIN, KEYEVENTF_EXTENDEDKEY},
    {'D', KEYEVENTF_EXTENDEDKEY},
    {'D', KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
    {VK_LWIN, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
};

}  // namespace

HWND FindDesktopListView()
{
    HWND listView = nullptr;
    EnumWindows(TakeListViewOf, reinterpret_cast<LPARAM>(&listView));
    return listView;
}

bool FindListViewItem(HWND listView, const char* name, int* index, DesktopPoint* position)
{
    *index = 0;
    DWORD processId = 0;
    if (GetWindowThreadProcessId(listView, &processId) == 0)
        return false;
    OwnedHandle process(OpenProcess(kShellProcessAccess, FALSE, processId));
    if (process.get() == nullptr)
        return false;
    RemoteBlock positionBlock(process.get());
    RemoteBlock recordBlock(process.get());
    if (positionBlock.get() == nullptr || recordBlock.get() == nullptr)
        return false;
    ShellItems items = {listView, process.get(), LayoutOfShell(process.get()), recordBlock};
    const DesktopItemSource source = {ItemCount, ItemText, &items};
    const int found = FindMatchingItem(source, name);
    if (found < 0 || !ReadItemPosition(listView, process.get(), positionBlock, found, position))
        return false;
    *index = found;
    return true;
}

int FindDesktopIcon(const char* name, int* x, int* y)
{
    *x = *y = 0;
    HWND listView;
    int index;
    DesktopPoint position;
    if (!FindIcon(name, &listView, &index, &position))
        return 0;
    *x = position.x;
    *y = position.y;
    return 1;
}

int SetDesktopIconPosition(const char* name, int x, int y)
{
    HWND listView;
    int index;
    DesktopPoint found;
    if (!FindIcon(name, &listView, &index, &found))
        return 0;
    SendMessageA(listView, LVM_SETITEMPOSITION, static_cast<WPARAM>(index),
                 static_cast<LPARAM>(PackItemPosition({x, y})));
    return 1;
}

int IsDesktopAutoArrange()
{
    HWND listView = FindDesktopListView();
    return listView != nullptr && (GetWindowLongA(listView, GWL_STYLE) & kAutoArrangeStyle) != 0 ? 1 : 0;
}

void SetDesktopAutoArrange(int on)
{
    HWND listView = FindDesktopListView();
    if (listView == nullptr)
        return;
    const LONG style = GetWindowLongA(listView, GWL_STYLE);
    SetWindowLongA(listView, GWL_STYLE, on ? style | kAutoArrangeStyle : style & ~kAutoArrangeStyle);
}

int OpenDesktopIcon(const char* name)
{
    HWND listView;
    int index;
    DesktopPoint position;
    if (!FindIcon(name, &listView, &index, &position))
        return 0;
    const DesktopPoint aim = AimPointOf(position);
    const bool covered = IsIconCovered(listView, aim);
    if (covered) {
        PressShowDesktopKeys();
        Sleep(kShowDesktopWaitMs);
    }
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    ClickAt(aim);
    Sleep(kBetweenClicksMs);
    ClickAt(aim);
    Sleep(kAfterClicksMs);
    SetCursorPos(cursor.x, cursor.y);
    if (covered)
        PressShowDesktopKeys();
    return 1;
}

bool IsIconCovered(HWND listView, DesktopPoint point)
{
    const POINT at = {point.x, point.y};
    HWND window = WindowFromPoint(at);
    return window != nullptr && window != listView;
}

void ClickAt(DesktopPoint point)
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    SetCursorPos(point.x, point.y);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs)
        input.type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[0].mi.dx = AbsoluteMouseCoordinate(point.x, width);
    inputs[0].mi.dy = AbsoluteMouseCoordinate(point.y, height);
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInputs(inputs, 3);
}

void PressShowDesktopKeys()
{
    INPUT inputs[4] = {};
    for (size_t i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = kShowDesktopChord[i].key;
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyA(kShowDesktopChord[i].key, 0));
        inputs[i].ki.dwFlags = kShowDesktopChord[i].flags;
        inputs[i].ki.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    }
    SendInputs(inputs, 4);
}
