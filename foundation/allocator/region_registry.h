// Which 64 KB granules start a page of this allocator. Lookups take no lock, so free()
// can tell a foreign pointer before it reads a byte of the address.
#pragma once

namespace tessaro::allocator {

// False when the registry cannot grow (the page must then not be used).
bool RegisterPageBase(const void* base);
void UnregisterPageBase(const void* base);
bool IsPageBase(const void* base);

}  // namespace tessaro::allocator
