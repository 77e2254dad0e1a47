#pragma once
// The question asked about a running application: its display name, taken
// from the window class it is known by, and the two-line text of the box.
#include <cstddef>

constexpr size_t kDisplayNameSize = 512;
constexpr size_t kRunningAppQuestionSize = 2048;

// The class name without a trailing "Class" (any ASCII case) when something
// comes before it: MyAppClass shows as MyApp, Class stays whole. False, name
// empty, when the class name does not fit the buffer.
bool MakeDisplayName(const char* className, char (&name)[kDisplayNameSize]);

// message, a line break, then the request to end the application named by
// className, in the interface language. False, question empty, when it does
// not fit the buffer.
bool FormatRunningAppQuestion(bool japanese, const char* message, const char* className,
                              char (&question)[kRunningAppQuestionSize]);
