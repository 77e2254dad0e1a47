#pragma once
// Keeping the program's windows alive while it works.

// Dispatches every message waiting in the thread's queue, then returns.
void PumpMessages();
