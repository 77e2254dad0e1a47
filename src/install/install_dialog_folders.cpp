// The install step's folder work: testing, creating, asking, and the fresh
// folder of the run-only mode.
#include <windows.h>

#include "install/folder_placeholders.h"
#include "install/install_dialog.h"
#include "install/install_dialog_texts.h"
#include "package/package_loader.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "text/path_size.h"
#include "text/text_scan.h"

bool FolderExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolderTree(const char* path)
{
    if (FolderExists(path))
        return true;
    char parent[kPathSize];
    if (!CopyText(parent, path))
        return false;
    // A parent ends at a backslash behind "X:\"; a drive root is never made.
    const int last = FindByte(parent, static_cast<int>(strlen(parent)), '\\', 0);
    if (last > 2) {
        parent[last] = '\0';
        if (!CreateFolderTree(parent))
            return false;
    }
    // "X:\a\" names the folder its parent step has just made.
    return CreateDirectoryA(path, nullptr) || FolderExists(path);
}

bool AskCreateFolder(HWND owner, const char* path)
{
    const bool japanese = IsJapaneseUi();
    char question[kQuestionSize];
    if (!FormatCreateFolderQuestion(japanese, path, question))
        return false;
    MessageBeep(MB_ICONHAND);
    return MessageBoxA(owner, question, CreateFolderCaption(japanese), MB_YESNO) == IDYES;
}

bool CreateRunOnlyFolder(char* out)
{
    out[0] = '\0';
    char tempFolder[kPathSize];
    if (GetInstallerTempFolder(sizeof tempFolder, tempFolder) == 0 || tempFolder[0] == '\0')
        return false;
    // The system picks a name no file has yet; the file it makes gives way to
    // a folder of the same name.
    if (!GetTempFileNameA(tempFolder, "IG", 0, out))
        return false;
    DeleteFileA(out);
    // A rewritten "temp" component has already made every level, this one too.
    RewriteTempFolders(out);
    if (CreateDirectoryA(out, nullptr) || FolderExists(out))
        return true;
    out[0] = '\0';
    return false;
}
