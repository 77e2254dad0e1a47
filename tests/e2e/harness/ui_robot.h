#pragma once
// The UI robot: while a program runs, it finds every dialog and message box
// of that process, records what it showed and answers it as the scenario says.
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

enum class Answer { Ok, Yes, No, Cancel, Close };

// An answer prints by its name, in test names and failure messages alike.
void PrintTo(Answer answer, std::ostream* out);

struct ShownButton {
    int id;
    std::wstring text;
};

// One dialog or message box as the robot saw it.
struct ShownBox {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::wstring ownerClass;
    std::wstring ownerCaption;
    std::wstring caption;
    std::wstring text;  // a message box's text (control 0xFFFF)
    std::vector<ShownButton> buttons;
    bool hasIcon = false;                      // a message box showing an icon
    bool expected = true;                      // false when no step of the script was left for it
    std::vector<int> samples;                  // what the step's watch read after the answer, in order
    std::string Caption(UINT codePage) const;  // the caption as ANSI bytes of a code page
    std::string Text(UINT codePage) const;
    bool HasButton(int id) const;
    std::vector<int> ButtonIds() const;
};

// What to do with the next box. Filled in order; a box beyond the script is
// unexpected: it is recorded, closed, and fails the scenario.
struct BoxStep {
    Answer answer = Answer::Ok;
    // Optional: text typed into an edit control of a dialog before answering.
    int editId = 0;
    std::wstring editText;
    // Optional: a check run on the box before it is answered (e.g. read a
    // progress bar); a non-empty result is recorded as a failure.
    std::string (*inspect)(HWND box) = nullptr;
    // Optional: a reading taken at every poll after the answer, for as long
    // as the box exists (e.g. how far a progress bar is filled while the
    // program works); the readings go to the box's samples.
    int (*watch)(HWND box) = nullptr;
};

class UiRobot {
public:
    explicit UiRobot(std::vector<BoxStep> script) : script_(std::move(script)) {}

    // Looks at the process's windows once; answers any new box. Call it often.
    void Poll(DWORD processId);

    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    const std::vector<std::string>& Failures() const { return failures_; }
    // Top-level windows of the process other than boxes, by class (seen once each).
    const std::vector<std::wstring>& OtherWindowClasses() const { return otherClasses_; }

private:
    struct Watch {
        HWND window;
        int (*read)(HWND box);
        size_t box;  // index into boxes_
    };
    void Handle(HWND window);
    void Sample();
    std::vector<BoxStep> script_;
    std::vector<Watch> watches_;
    size_t next_ = 0;
    std::vector<HWND> seen_;
    std::vector<ShownBox> boxes_;
    std::vector<std::string> failures_;
    std::vector<std::wstring> otherClasses_;
};

std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);
std::string ToCodePage(const std::wstring& text, UINT codePage);
