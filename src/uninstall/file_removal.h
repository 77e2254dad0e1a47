#pragma once
// Removing files and folders of an installation. A folder that is a link (a
// junction or symbolic link, a reparse point) is never entered: the link
// itself is removed, never what it points to.

// Deletes the file, or the folder with everything in it (read-only and
// hidden ones too). 1 when it is gone, also when it was not there.
int RemovePath(const char* path);

// Removes the folder and every folder below it in which no file is left;
// deletes no file. 1 when the folder is gone.
int RemoveEmptyFolderTree(const char* path);

// Removes one empty folder, stepping out of it first. 1 when it was removed.
int RemoveFolder(const char* path);

// When the current directory is the folder, moves it to the folder's parent.
void StepOutOfFolder(const char* path);
