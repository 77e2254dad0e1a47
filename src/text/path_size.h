#pragma once
// Every path the engine keeps fits 511 bytes and a terminator; a longer one
// is refused, never cut.
constexpr unsigned kPathSize = 512;
