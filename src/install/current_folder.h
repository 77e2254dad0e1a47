#pragma once
// Commands run, and paths are tested, with the installation folder as the
// current folder; the previous one comes back afterwards.
#include <windows.h>

#include "text/path_size.h"

class CurrentFolderScope {
public:
    // An empty folder changes nothing. A previous folder longer than 511
    // bytes cannot be kept, and is not restored.
    explicit CurrentFolderScope(const char* folder)
    {
        if (folder == nullptr || folder[0] == '\0')
            return;
        const DWORD length = GetCurrentDirectoryA(sizeof saved_, saved_);
        changed_ = length != 0 && length < sizeof saved_;
        SetCurrentDirectoryA(folder);
    }
    ~CurrentFolderScope()
    {
        if (changed_)
            SetCurrentDirectoryA(saved_);
    }
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    char saved_[kPathSize] = "";
    bool changed_ = false;
};
