#pragma once
// The interface language: Japanese when the user's default input language is.
#include <cstdint>

// True when the primary language of a keyboard layout value is Japanese.
constexpr bool IsJapaneseLayout(uintptr_t layout)
{
    return (layout & 0x3FF) == 0x11;
}

// Asks the system afresh at every call; every choice between a Japanese and an
// English text goes through it.
bool IsJapaneseUi();
