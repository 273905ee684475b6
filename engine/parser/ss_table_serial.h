#pragma once
// A number no other table of the process has: what was learned with one table is never
// used with another that happens to be made at the same address.

#include <cstdint>

std::uint64_t SSNextTableSerial();
