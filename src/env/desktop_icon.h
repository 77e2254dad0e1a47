#pragma once
// Opening an icon of the desktop as the user would: the desktop's list view
// belongs to the shell's process, so its item texts and positions are read
// through memory allocated in that process, and the icon is double-clicked
// with synthesized mouse input.
#include <windows.h>

#include "env/desktop_icon_rules.h"

// 1 and the icon's position when an icon of the desktop carries name; 0,
// with x and y 0, when there is no desktop list view or no such icon.
int FindDesktopIcon(const char* name, int* x, int* y);

// Moves the icon that carries name to (x, y). 1 when it was found.
int SetDesktopIconPosition(const char* name, int x, int y);

// 1 when the desktop's list view arranges its icons by itself.
int IsDesktopAutoArrange();

// Switches the desktop's automatic arrangement on or off, keeping every
// other style bit; nothing without a desktop list view.
void SetDesktopAutoArrange(int on);

// Double-clicks the icon that carries name, uncovering the desktop first
// when a window lies over it, and puts the cursor back. 1 when the icon was
// found and clicked; what the click started is not known here.
int OpenDesktopIcon(const char* name);

// The list view of the first top-level window that holds a
// "SHELLDLL_DefView" window with a "SysListView32" in it; null when none.
HWND FindDesktopListView();

// The index and position of the item that carries name (see
// FindMatchingItem). False when the shell's process cannot be read.
bool FindListViewItem(HWND listView, const char* name, int* index, DesktopPoint* position);

// True when the window at point is not the list view itself.
bool IsIconCovered(HWND listView, DesktopPoint point);

// A left click at point, in absolute mouse coordinates.
void ClickAt(DesktopPoint point);

// Windows+D: the shell shows the desktop, or brings the windows back.
void PressShowDesktopKeys();
