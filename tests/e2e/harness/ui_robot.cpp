#include "tests/e2e/harness/ui_robot.h"

#include <algorithm>

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

struct EnumContext {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    auto* context = reinterpret_cast<EnumContext*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == context->processId)
        context->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND window)
{
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

void Press(HWND box, const BoxStep& step)
{
    if (step.editId != 0)
        SetDlgItemTextW(box, step.editId, step.editText.c_str());
    switch (step.answer) {
    case Answer::Ok: PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); break;
    case Answer::Yes: PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0); break;
    case Answer::No: PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0); break;
    case Answer::Cancel: PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); break;
    case Answer::Close: PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    }
}

}  // namespace

void PrintTo(Answer answer, std::ostream* out)
{
    static const char* const kNames[] = {"Ok", "Yes", "No", "Cancel", "Close"};
    *out << kNames[static_cast<int>(answer)];
}

std::wstring WindowText(HWND window)
{
    wchar_t text[4096] = L"";
    GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring WindowClass(HWND window)
{
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::string ToCodePage(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return {};
    int size =
        WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string ShownBox::Caption(UINT codePage) const
{
    return ToCodePage(caption, codePage);
}

std::string ShownBox::Text(UINT codePage) const
{
    return ToCodePage(text, codePage);
}

bool ShownBox::HasButton(int id) const
{
    return std::any_of(buttons.begin(), buttons.end(), [id](const ShownButton& b) { return b.id == id; });
}

std::vector<int> ShownBox::ButtonIds() const
{
    std::vector<int> ids;
    for (const ShownButton& button : buttons)
        ids.push_back(button.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

void UiRobot::Sample()
{
    for (auto watch = watches_.begin(); watch != watches_.end();) {
        if (!IsWindow(watch->window)) {
            watch = watches_.erase(watch);
            continue;
        }
        boxes_[watch->box].samples.push_back(watch->read(watch->window));
        ++watch;
    }
}

void UiRobot::Poll(DWORD processId)
{
    Sample();
    EnumContext context{processId, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&context));
    for (HWND window : context.windows) {
        if (std::find(seen_.begin(), seen_.end(), window) != seen_.end() || !IsWindowVisible(window))
            continue;
        const std::wstring cls = WindowClass(window);
        if (cls != L"#32770") {
            if (std::find(otherClasses_.begin(), otherClasses_.end(), cls) == otherClasses_.end())
                otherClasses_.push_back(cls);
            continue;
        }
        seen_.push_back(window);
        Handle(window);
    }
}

void UiRobot::Handle(HWND window)
{
    // Give the box a moment to finish building its controls.
    Sleep(100);
    ShownBox box;
    box.window = window;
    box.owner = GetWindow(window, GW_OWNER);
    if (box.owner != nullptr) {
        box.ownerClass = WindowClass(box.owner);
        box.ownerCaption = WindowText(box.owner);
    }
    box.caption = WindowText(window);
    if (HWND text = GetDlgItem(window, kMessageBoxTextId))
        box.text = WindowText(text);
    for (HWND child : Children(window)) {
        const std::wstring cls = WindowClass(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(cls.c_str(), L"Button") == 0 && (style & WS_VISIBLE))
            box.buttons.push_back({GetDlgCtrlID(child), WindowText(child)});
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE) &&
            SendMessageW(child, STM_GETICON, 0, 0) != 0)
            box.hasIcon = true;
    }
    if (next_ < script_.size()) {
        const BoxStep& step = script_[next_++];
        if (step.inspect != nullptr) {
            std::string problem = step.inspect(window);
            if (!problem.empty())
                failures_.push_back(problem);
        }
        Press(window, step);
        if (step.watch != nullptr)
            watches_.push_back({window, step.watch, boxes_.size()});
    } else {
        box.expected = false;
        failures_.push_back("unexpected box: " + ToCodePage(box.caption, CP_UTF8) + " / " +
                            ToCodePage(box.text, CP_UTF8));
        Press(window, {Answer::Close});
    }
    boxes_.push_back(std::move(box));
}
