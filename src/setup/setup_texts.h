#pragma once
// The driver's own texts, as ANSI bytes (Japanese in Shift-JIS).

// "It couldn't be installed properly." and its siblings.
const char* FailureText(bool japanese, bool isInstall);

// The rights message, shown in Japanese whatever the interface language.
const char* AdminRequiredText(bool isInstall, bool justExec);
