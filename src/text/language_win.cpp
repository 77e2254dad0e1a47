#include <windows.h>

#include "text/language.h"

bool IsJapaneseUi()
{
    HKL layout = nullptr;
    // Some systems answer the query with success but no layout; the thread's
    // own layout is then the best witness of the user's language.
    if (!SystemParametersInfoA(SPI_GETDEFAULTINPUTLANG, 0, &layout, 0) || layout == nullptr)
        layout = GetKeyboardLayout(0);
    return layout != nullptr && IsJapaneseLayout(reinterpret_cast<uintptr_t>(layout));
}
