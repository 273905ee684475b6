// The registry store: keys and string values kept in one SQLite database per
// machine ($TESSARO_HOME/registry.db for this one, $TESSARO_HOME/machines/<NAME>.db
// for another). Names compare case-insensitively and keep their case; subkeys
// enumerate in upper-cased byte order, values in creation order.
//
// Every call returns 0 or a Windows error number (2 missing, 5 access denied,
// 234 more data, 259 no more items, 1018 key deleted, 1722 unknown machine).
// Each thread keeps its own connection per store with its prepared statements,
// so reads on the request path cost a lookup, not a file open; the connections of
// ended threads are handed to new threads. Writes are
// single-statement transactions; RegRunTransaction groups a read-modify-write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessaro::platform {

struct RegKeyObject;
using HKEY = RegKeyObject*;

// The predefined roots of the local store; never closed.
extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;
extern HKEY const HKEY_USERS;

// Value types. Only REG_SZ is used by the system; the others exist so that
// enumeration can be seen to skip them.
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;

// Access masks with their Windows values.
constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_WRITE = 0x20006;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// Longest key name component and value name the store accepts.
constexpr std::size_t kRegMaxKeyNameLength = 255;
constexpr std::size_t kRegMaxValueNameLength = 16383;
// Largest value data the store accepts (bytes).
constexpr std::size_t kRegMaxValueSize = 1024 * 1024;

// Opens an existing key below parent ("" = parent itself) with the given access.
// Path components are separated by '\'; empty components are ignored.
long RegOpenKey(HKEY parent, std::string_view subkey, std::uint32_t access, HKEY* result);

// Opens or creates a key (and its missing intermediate keys) with KEY_ALL_ACCESS.
// created (optional) tells whether the last component was new.
long RegCreateKey(HKEY parent, std::string_view subkey, HKEY* result, bool* created = nullptr);

// Releases a handle; predefined roots are ignored.
long RegCloseKey(HKEY key);

// Connects to a machine's store: "", ".", "localhost" or this host's name (with or
// without leading backslashes) -> the local store; a name with
// $TESSARO_HOME/machines/<NAME>.db -> that store; otherwise 1722.
// root must be one of the predefined roots. The result must be closed.
long RegConnectRegistry(std::string_view machine, HKEY root, HKEY* result);

// Creates (or opens) the store of another machine, $TESSARO_HOME/machines/<NAME>.db,
// so that RegConnectRegistry can reach it.
long RegCreateMachineStore(std::string_view machine);

// Writes a REG_SZ value (stored without its NUL). Needs KEY_SET_VALUE.
long RegSetString(HKEY key, std::string_view name, std::string_view text);

// Writes a value of any type (tests use it for non-string values).
long RegSetValue(HKEY key, std::string_view name, std::uint32_t type, std::string_view data);

// Reads a value. bufferSize is the caller's buffer in bytes including, for REG_SZ,
// the terminating NUL; 0 means "no limit". A value that does not fit gives 234 and
// leaves data empty; type and requiredSize are still filled. Any out pointer may be null.
long RegQueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::string* data, std::size_t bufferSize = 0,
                   std::size_t* requiredSize = nullptr);

// Enumerates subkey names (index 0, 1, ... until 259). A name longer than
// nameBufferSize - 1 gives 234 (0 means no limit). A handle remembers where its
// last walk stopped, so asking for index + 1 next costs one step, however many
// subkeys there are.
long RegEnumKey(HKEY key, std::uint32_t index, std::string* name, std::size_t nameBufferSize = 0);

// Enumerates values in creation order (until 259). Name and data limits as above.
long RegEnumValue(HKEY key, std::uint32_t index, std::string* name, std::uint32_t* type, std::string* data = nullptr,
                  std::size_t nameBufferSize = 0, std::size_t dataBufferSize = 0);

long RegDeleteValue(HKEY key, std::string_view name);

// Deletes the key parent\subkey; a key that still has subkeys gives 5.
long RegDeleteKey(HKEY parent, std::string_view subkey);

// Deletes parent\subkey with all its subkeys in one transaction: a failure leaves
// the whole tree in place. A root (empty subkey) cannot be deleted.
long RegDeleteTree(HKEY parent, std::string_view subkey);

// Runs body inside one immediate (write-locked) transaction of the key's store:
// committed when body returns 0, rolled back otherwise or when it throws (the
// exception passes on). Nested calls on one thread join the outer transaction.
long RegRunTransaction(HKEY key, const std::function<long()>& body);

// The full path of an open key ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), for messages.
std::string RegKeyPath(HKEY key);

// Resolves a full path whose first component is a root name ("HKEY_LOCAL_MACHINE"
// or "HKLM", "HKEY_CURRENT_USER"/"HKCU", "HKEY_CLASSES_ROOT"/"HKCR",
// "HKEY_USERS"/"HKU") to that root and the rest; false for an unknown root.
bool RegSplitRootPath(std::string_view fullPath, HKEY* root, std::string* rest);

// The local store file ($TESSARO_HOME/registry.db).
std::string RegLocalStorePath();

// The change stamp (RegistryStoreStamp) of the store the key lives in, and that store's
// path; false when changes of that store cannot be watched.
bool RegStoreStamp(HKEY key, std::string* storePath, std::uint64_t* stamp);

// Closes this thread's store connections and the idle ones that ended threads
// left for new threads to take over (tests call it before removing a store).
void RegCloseThreadConnections();

}  // namespace tessaro::platform
