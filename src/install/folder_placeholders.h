#pragma once
// Resolves a placeholder at the start of the default installation folder.

// Rewrites folder (512 bytes) in place.
void ExpandInstallFolder(char* folder);
