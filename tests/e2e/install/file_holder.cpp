// Holds a file open the way a running program can: read and write access,
// no sharing at all, so that no other program may open, replace or delete it.
//
//   file-holder FILE READY
//
// Once the file is open it writes READY; it then waits until it is ended.
// Without the file it writes nothing and ends at once.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    HANDLE held =
        CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    Sleep(INFINITE);
    return 0;
}
