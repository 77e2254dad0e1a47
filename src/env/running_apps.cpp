// Offers to end the running applications that the package names by window
// class, before any product file is written.
#include "env/running_apps.h"

#include "env/running_app_question.h"
#include "system/message_pump.h"
#include "text/language.h"

namespace {

// How long a close request may take. A window that has not handled it by
// then (a hung program, or one still asking its own user) counts as still
// open, so the question comes again and the user can answer No: the
// installer never waits on another program for good.
constexpr UINT kCloseRequestMs = 5000;

bool UserAgreesToEnd(HWND window, const char* caption, const CheckEntry& entry)
{
    char question[kRunningAppQuestionSize];
    // A package's texts always fit. Should they not, the run ends as after a
    // No: a question cut short would not say what it asks.
    if (!FormatRunningAppQuestion(IsJapaneseUi(), entry.message != nullptr ? entry.message : "", entry.subject,
                                  question))
        return false;
    MessageBeep(MB_ICONHAND);
    return MessageBoxA(window, question, caption, MB_YESNO) == IDYES;
}

void RequestClose(HWND application)
{
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(application, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, kCloseRequestMs, &answer);
    // Let the splash window repaint what the box and the wait left behind.
    PumpMessages();
}

// Asks about every open window of the entry's class until none is left;
// false as soon as the user declines.
bool EndApplication(HWND window, const char* caption, const CheckEntry& entry, int silent, RunLog* log)
{
    for (HWND application = FindWindowA(entry.subject, nullptr); application != nullptr;
         application = FindWindowA(entry.subject, nullptr)) {
        if (silent) {
            LogStep(log, "running", entry.subject, "a window of this class is open; a silent run ends here");
            return false;
        }
        if (!UserAgreesToEnd(window, caption, entry)) {
            LogStep(log, "running", entry.subject, "the user did not agree to end it");
            return false;
        }
        LogStep(log, "running", entry.subject, "asked to close");
        RequestClose(application);
    }
    return true;
}

}  // namespace

int CheckRunningApplications(HWND window, const SetupInfo& info, const char* caption, int silent, RunLog* log)
{
    for (int i = 0; i < info.checkCount; ++i) {
        const CheckEntry& entry = info.checks[i];
        if (entry.kind != 1 || entry.subject == nullptr || entry.subject[0] == '\0')
            continue;
        if (!EndApplication(window, caption, entry, silent, log))
            return 0;
    }
    return 1;
}
