#include "platform/resources.h"

#include <cstring>
#include <limits>
#include <list>
#include <mutex>
#include <string>

namespace tessaro::resources {
namespace {

struct StoredEntry {
    std::string type;
    std::string name;
    ResourceEntry entry;
};

struct Registry {
    std::mutex lock;
    // A list keeps entry addresses stable while others come and go.
    std::list<StoredEntry> entries;
};

// Built on first use so that registrations from static initialisers in any order work.
Registry& registry() {
    static Registry* instance = new Registry;  // never destroyed: handles outlive main()
    return *instance;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::list<StoredEntry>::iterator findLocked(Registry& r, const char* type, const char* name) {
    for (auto it = r.entries.begin(); it != r.entries.end(); ++it) {
        if (equalsIgnoringCase(it->type, type) && equalsIgnoringCase(it->name, name)) return it;
    }
    return r.entries.end();
}

}  // namespace

bool RegisterResource(const char* type, const char* name, const void* data, std::size_t size) {
    if (type == nullptr || name == nullptr || data == nullptr) return false;
    if (size > std::numeric_limits<std::uint32_t>::max()) return false;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = findLocked(r, type, name);
    if (it != r.entries.end()) {
        // Updated in place so that a handle found earlier still points at a live entry.
        it->entry.data = data;
        it->entry.size = size;
        return true;
    }
    r.entries.push_back(StoredEntry{type, name, ResourceEntry{}});
    StoredEntry& stored = r.entries.back();
    stored.entry = ResourceEntry{stored.type.c_str(), stored.name.c_str(), data, size};
    return true;
}

bool UnregisterResource(const char* type, const char* name) {
    if (type == nullptr || name == nullptr) return false;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = findLocked(r, type, name);
    if (it == r.entries.end()) return false;
    r.entries.erase(it);
    return true;
}

const ResourceEntry* FindRegisteredResource(const char* type, const char* name) {
    if (type == nullptr || name == nullptr) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = findLocked(r, type, name);
    return it == r.entries.end() ? nullptr : &it->entry;
}

}  // namespace tessaro::resources

HRSRC FindResourceA(const void* /*module*/, const char* name, const char* type) {
    return tessaro::resources::FindRegisteredResource(type, name);
}

HGLOBAL LoadResource(const void* /*module*/, HRSRC resource) {
    return resource;
}

const void* LockResource(HGLOBAL loaded) {
    return loaded == nullptr ? nullptr : loaded->data;
}

std::uint32_t SizeofResource(const void* /*module*/, HRSRC resource) {
    return resource == nullptr ? 0 : static_cast<std::uint32_t>(resource->size);
}

int FreeResource(HGLOBAL /*loaded*/) {
    return 0;
}
