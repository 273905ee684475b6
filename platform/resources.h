#pragma once
// Resources compiled into the program.
//
// A program carries binary blobs (grammar tables and the like) that are looked up by a
// resource type and a name, the way a Windows module carries its resource section. Each
// blob registers itself once, either from a static initialiser (ResourceRegistration) or
// through an explicit call to RegisterResource from the code that owns it. Static
// initialisers in a static library only run when their object file is linked in, so a
// library of blobs should also offer an explicit registration function that its users call.
//
// Type and name compare case-insensitively (ASCII), as Windows resource names do.
// The registry is safe to use from several threads.

#include <cstddef>
#include <cstdint>

namespace tessaro::resources {

// One registered blob. `data` is not copied: it must stay valid until the process ends
// or the entry is unregistered (static storage in practice).
struct ResourceEntry {
    const char* type;
    const char* name;
    const void* data;
    std::size_t size;
};

// Adds a blob or replaces the one registered under the same type and name.
// Returns false (and registers nothing) for a null type, name or data, or a blob larger
// than 0xFFFFFFFF bytes.
bool RegisterResource(const char* type, const char* name, const void* data, std::size_t size);

// Removes a registration; returns false when there was none. Pointers handed out for it
// before must not be used afterwards (tests use this to clean up).
bool UnregisterResource(const char* type, const char* name);

// The entry registered under type and name, or null. The entry stays valid until it is
// unregistered or replaced.
const ResourceEntry* FindRegisteredResource(const char* type, const char* name);

// Registers a blob during static initialisation:
//   static const tessaro::resources::ResourceRegistration reg("LEX", "IDR_LEX_X", bytes, sizeof bytes);
struct ResourceRegistration {
    ResourceRegistration(const char* type, const char* name, const void* data, std::size_t size) {
        RegisterResource(type, name, data, size);
    }
};

}  // namespace tessaro::resources

// Windows-shaped access, for code written against the Win32 resource calls. The module
// handle is ignored: every registered resource belongs to the running program.
using HRSRC = const tessaro::resources::ResourceEntry*;
using HGLOBAL = const tessaro::resources::ResourceEntry*;

// Null when no resource of that type and name is registered.
HRSRC FindResourceA(const void* module, const char* name, const char* type);
// The handle to lock; null for a null resource.
HGLOBAL LoadResource(const void* module, HRSRC resource);
// The first byte of the blob; null for a null handle. The bytes are read-only.
const void* LockResource(HGLOBAL loaded);
// Size of the blob in bytes (0 for a null resource). Blobs above 4 GiB are refused at
// registration, so the 32-bit result never truncates.
std::uint32_t SizeofResource(const void* module, HRSRC resource);
// Nothing to release for compiled-in blobs; kept for symmetry. Returns 0 (success).
int FreeResource(HGLOBAL loaded);
