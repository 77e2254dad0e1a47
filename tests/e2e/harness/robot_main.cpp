// e2e-robot: starts a Windows program, answers its dialogs and message boxes
// in the order given, and prints what each one showed. Used by the demo and
// by scripts/screenshots.
//
//   e2e-robot [--answer ok|yes|no|cancel|close [--shot FILE]]... [--timeout SECONDS]
//             [--after-window CLASS] PROGRAM [ARGS...]
//   e2e-robot [--answer ...]... [--timeout SECONDS] --command-from-registry HKLM|HKCU\KEY VALUE
//
// The second form starts the command line a registry value holds, exactly as
// it stands there (as the system's list of programs starts an uninstall
// entry); the key is looked up in the 64-bit view, then in the 32-bit one.
//
// --shot writes a picture of the box that the answer before it is for, taken
// before the answer, to FILE (a 24-bit BMP of the box's window at its full
// size). --after-window waits for a window of CLASS to exist, a helper
// program's that another command started, before the program starts.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/win/ui/screen_capture.h"

namespace {

const struct {
    const char* name;
    Answer answer;
} kAnswers[] = {
    {"ok", Answer::Ok}, {"yes", Answer::Yes}, {"no", Answer::No}, {"cancel", Answer::Cancel}, {"close", Answer::Close},
};

bool ParseAnswer(const char* name, Answer& answer)
{
    for (const auto& entry : kAnswers) {
        if (_stricmp(entry.name, name) == 0) {
            answer = entry.answer;
            return true;
        }
    }
    return false;
}

// The files the boxes with a --shot are photographed into, in their order.
std::vector<std::string> gShotFiles;
size_t gNextShot = 0;

// A box paints its controls a little after it appears: the picture is taken
// once two looks 200 ms apart agree (or after three seconds).
std::string PhotographBox(HWND box)
{
    const std::string& file = gShotFiles[gNextShot++];
    RECT frame = {};
    GetWindowRect(box, &frame);
    Screenshot shot = Screenshot::CaptureArea(frame);
    for (int look = 0; look < 15; ++look) {
        Sleep(200);
        Screenshot again = Screenshot::CaptureArea(frame);
        if (again == shot)
            break;
        shot = std::move(again);
    }
    if (shot.Width() == 0 || !shot.SaveBmp(file))
        return "cannot photograph the box into " + file;
    printf("  photographed %ldx%ld: %s\n", frame.right - frame.left, frame.bottom - frame.top, file.c_str());
    return {};
}

// Waits up to ten seconds for a top-level window of the class.
bool WaitForWindow(const char* windowClass)
{
    for (int wait = 0; wait < 100; ++wait) {
        if (FindWindowA(windowClass, nullptr) != nullptr)
            return true;
        Sleep(100);
    }
    return false;
}

void PrintBox(size_t index, const ShownBox& box)
{
    printf("  box %zu: \"%s\"\n", index + 1, box.Caption(CP_UTF8).c_str());
    if (!box.text.empty())
        printf("    %s\n", box.Text(CP_UTF8).c_str());
    printf("    buttons:");
    for (const ShownButton& button : box.buttons)
        printf(" [%s]", ToCodePage(button.text, CP_UTF8).c_str());
    printf("%s\n", box.expected ? "" : "  (unexpected: closed)");
}

// Text in the system's code page as UTF-8, for the terminal.
std::string AnsiToUtf8(const std::string& text)
{
    const int size = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), size)));
    return ToCodePage(wide, CP_UTF8);
}

// The command line stored in ROOT\KEY's VALUE, or empty.
std::string CommandFromRegistry(const std::string& path, const char* value)
{
    const size_t split = path.find('\\');
    const std::string rootName = path.substr(0, split);
    HKEY root = rootName == "HKLM" ? HKEY_LOCAL_MACHINE : rootName == "HKCU" ? HKEY_CURRENT_USER : nullptr;
    if (root == nullptr || split == std::string::npos)
        return {};
    for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
        HKEY key;
        if (RegOpenKeyExA(root, path.substr(split + 1).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            continue;
        char text[2048];
        DWORD size = sizeof text - 1, type = 0;
        const LONG status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            text[size] = '\0';
            return text;
        }
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    RunSpec spec;
    spec.japanese = GetACP() == kJapaneseCodePage;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
        Answer answer;
        if (strcmp(argv[i], "--answer") == 0 && i + 1 < argc && ParseAnswer(argv[i + 1], answer)) {
            spec.script.push_back({answer});
            ++i;
        } else if (strcmp(argv[i], "--shot") == 0 && i + 1 < argc && !spec.script.empty() &&
                   spec.script.back().inspect == nullptr) {
            spec.script.back().inspect = PhotographBox;
            gShotFiles.push_back(argv[++i]);
        } else if (strcmp(argv[i], "--after-window") == 0 && i + 1 < argc) {
            if (!WaitForWindow(argv[++i])) {
                fprintf(stderr, "e2e-robot: no window of the class %s\n", argv[i]);
                return 1;
            }
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            spec.timeoutMs = static_cast<DWORD>(atoi(argv[++i])) * 1000;
        } else if (strcmp(argv[i], "--command-from-registry") == 0 && i + 2 < argc) {
            spec.commandLine = CommandFromRegistry(argv[i + 1], argv[i + 2]);
            if (spec.commandLine.empty()) {
                fprintf(stderr, "e2e-robot: no command line in %s, value %s\n", argv[i + 1], argv[i + 2]);
                return 1;
            }
            printf("  command line: %s\n", AnsiToUtf8(spec.commandLine).c_str());
            i += 3;
            break;
        } else {
            fprintf(stderr, "e2e-robot: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (spec.commandLine.empty() && i >= argc) {
        fprintf(stderr, "usage: e2e-robot [--answer ok|yes|no|cancel|close [--shot FILE]]... [--timeout S] "
                        "[--after-window CLASS] PROGRAM [ARGS...]\n");
        return 2;
    }
    if (spec.commandLine.empty()) {
        spec.program = argv[i];
        for (++i; i < argc; ++i)
            spec.arguments.push_back(argv[i]);
    }

    const RunResult run = RunProgram(spec);
    if (!run.started) {
        fprintf(stderr, "e2e-robot: cannot start %s\n",
                spec.commandLine.empty() ? spec.program.c_str() : spec.commandLine.c_str());
        return 1;
    }
    for (size_t k = 0; k < run.boxes.size(); ++k)
        PrintBox(k, run.boxes[k]);
    if (run.timedOut)
        printf("  the program did not end in time and was stopped\n");
    else
        printf("  exit code %lu\n", run.exitCode);
    return run.timedOut || !run.failures.empty() ? 1 : 0;
}
