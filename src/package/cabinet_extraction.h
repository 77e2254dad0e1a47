#pragma once
// Unpacking cabinet members into folders.

// Unpacks "$bmp" and "$mask" beside the cabinet; the outputs (512 bytes each)
// receive their paths, or are emptied on failure. 1 when both were unpacked.
int ExtractSplashBitmaps(char* bitmapPath, char* maskPath, const char* cabinetPath);

// The operation told of every installed product member.
void SetInstalledFileRecorder(void (*recorder)(const char* memberName));
