// The account-id slot: a 64-unit UTF-16 buffer in the program's initialised
// data, shipped holding a placeholder. An unsigned copy of the program may
// carry an account id there, written into the file's bytes.
#pragma once

#include <cstddef>
#include <string>

// The longest account id: the slot's 64 units less the terminator. An id that
// comes from elsewhere keeps the same limit.
constexpr std::size_t kAccountIdMaxUnits = 63;

// The slot's value; empty while it holds the placeholder (first unit "[").
std::wstring ReadAccountSlot();
