// A stand-in for a running product: opens windows of a given class and
// answers close requests as told, so that the installer's offer to end
// running applications can be watched from outside.
//
//   app-windows CLASS COUNT MODE LOG
//     close         every close request closes its window
//     refuse-first  a window refuses its first close request, closes on later ones
//     hung          the program stops answering once its windows exist
//
// Every close request a window handles adds a line to LOG: "close" or
// "refused". The program ends when its last window has closed.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

enum class Mode { Close, RefuseFirst, Hung };

Mode gMode = Mode::Close;
const char* gLogPath = "";
int gOpenWindows = 0;
const char kRefusedOnce[] = "refused-once";

void Log(const char* line)
{
    HANDLE file = CreateFileA(gLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (gMode == Mode::RefuseFirst && GetPropA(window, kRefusedOnce) == nullptr) {
            SetPropA(window, kRefusedOnce, reinterpret_cast<HANDLE>(1));
            Log("refused");
            return 0;
        }
        Log("close");
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        RemovePropA(window, kRefusedOnce);
        if (--gOpenWindows == 0)
            PostQuitMessage(0);
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool ParseMode(const char* text)
{
    const struct {
        const char* name;
        Mode mode;
    } modes[] = {{"close", Mode::Close}, {"refuse-first", Mode::RefuseFirst}, {"hung", Mode::Hung}};
    for (const auto& m : modes) {
        if (strcmp(text, m.name) == 0) {
            gMode = m.mode;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || !ParseMode(argv[3]))
        return 2;
    const char* className = argv[1];
    const int count = atoi(argv[2]);
    gLogPath = argv[4];

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass))
        return 3;
    // The windows stay hidden: a search by class finds them all the same, and
    // the installer's own windows never have to give them the focus.
    for (int i = 0; i < count; ++i) {
        if (CreateWindowA(className, "app-windows", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                          windowClass.hInstance, nullptr) == nullptr)
            return 4;
        ++gOpenWindows;
    }
    if (gMode == Mode::Hung)
        Sleep(INFINITE);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
