// The account-id slot: a 64-unit UTF-16 buffer in the program's initialised
// data, shipped holding a placeholder. A distributed copy of the program may
// carry an account id there, written into the file's bytes.
#pragma once

#include <string>

// The slot's value; empty while it holds the placeholder (first unit "[").
std::wstring GetAccountId();
