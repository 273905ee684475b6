#include "platform/registry_store.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>
#include <cerrno>
#include <map>
#include <memory>
#include <vector>

#include "platform/home.h"
#include "platform/path_util.h"
#include "platform/registry_change_watch.h"
#include "platform/shared_file.h"
#include "platform/sqlite_lock_holder.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

constexpr long ERROR_BUSY_STORE = 170;  // ERROR_BUSY
constexpr long ERROR_REGISTRY_CORRUPT = 1015;
constexpr long ERROR_REGISTRY_IO_FAILED = 1016;

struct RegKeyObject {
    RegKeyObject() = default;
    explicit RegKeyObject(const char* root) : predefined(true), rootName(root), path(root) {}

    bool predefined = false;
    std::string rootName;     // predefined roots: the root row's name
    std::string storePath;    // empty for predefined roots: the local store of the moment
    sqlite3_int64 keyId = 0;  // 0 for predefined roots: resolved per store
    std::uint32_t access = KEY_ALL_ACCESS;
    std::string path;  // full path, for messages
    // Where the last enumeration of this handle stopped, so that walking index
    // 0, 1, 2, ... continues from there instead of skipping over every earlier
    // row again (which made listing a key of many subkeys quadratic).
    std::mutex cursorMutex;
    std::uint32_t nextKeyIndex = 0;  // 0: no key cursor
    std::string lastKeyUname;
    std::uint32_t nextValueIndex = 0;  // 0: no value cursor
    sqlite3_int64 lastValueSeq = 0;
};

namespace {

RegKeyObject g_classesRoot("HKEY_CLASSES_ROOT");
RegKeyObject g_currentUser("HKEY_CURRENT_USER");
RegKeyObject g_localMachine("HKEY_LOCAL_MACHINE");
RegKeyObject g_users("HKEY_USERS");

long ErrorFromSqlite(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_BUSY_STORE;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_FULL:
            return ERROR_DISK_FULL;
        case SQLITE_CANTOPEN:
            return ERROR_FILE_NOT_FOUND;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return ERROR_REGISTRY_CORRUPT;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

enum StatementId {
    kFindChild,
    kKeyExists,
    kInsertKey,
    kQueryValue,
    kUpsertValue,
    kDeleteValue,
    kEnumKey,
    kEnumKeyAfter,
    kEnumValue,
    kEnumValueAfter,
    kHasChildren,
    kDeleteKeyRow,
    kDeleteKeyValues,
    kStatementCount
};

const char* const kStatementSql[kStatementCount] = {
    "SELECT id, name FROM keys WHERE parent = ?1 AND uname = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT OR IGNORE INTO keys(parent, name, uname) VALUES(?1, ?2, ?3)",
    "SELECT type, data FROM vals WHERE key = ?1 AND uname = ?2",
    "INSERT INTO vals(key, name, uname, type, data, seq) "
    "SELECT ?1, ?2, ?3, ?4, ?5, (SELECT COALESCE(MAX(seq), 0) + 1 FROM vals WHERE key = ?1) "
    "WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, uname) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND uname = ?2",
    "SELECT name, uname FROM keys WHERE parent = ?1 ORDER BY uname LIMIT 1 OFFSET ?2",
    "SELECT name, uname FROM keys WHERE parent = ?1 AND uname > ?2 ORDER BY uname LIMIT 1",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT 1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
};

const char* const kSchemaSql =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, uname TEXT NOT NULL, UNIQUE(parent, uname));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL, uname TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB, seq INTEGER NOT NULL, UNIQUE(key, uname));"
    "CREATE INDEX IF NOT EXISTS vals_by_seq ON vals(key, seq);"
    "INSERT OR IGNORE INTO keys(parent, name, uname) VALUES"
    " (0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'), (0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    " (0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'), (0, 'HKEY_USERS', 'HKEY_USERS');";

// One connection of one thread to one store file.
struct Store {
    sqlite3* db = nullptr;
    std::array<sqlite3_stmt*, kStatementCount> statements{};
    std::map<std::string, sqlite3_int64> rootIds;
    int transactionDepth = 0;

    ~Store() {
        for (sqlite3_stmt* s : statements) sqlite3_finalize(s);
        if (db) sqlite3_close(db);
    }
};

// Bumped in a forked child: connections inherited across fork() must never be
// used or closed there (closing could disturb the parent's locks), only forgotten.
std::atomic<unsigned> g_forkGeneration{0};
std::once_flag g_atForkOnce;

// Connections of threads that have ended, kept for the next thread: request
// threads are short-lived, and opening a store costs far more than a read.
struct IdlePool {
    std::mutex mutex;
    unsigned generation = 0;
    std::map<std::string, std::vector<std::unique_ptr<Store>>> byPath;
};
constexpr std::size_t kMaxIdlePerStore = 32;

// Never destroyed: threads may hand back connections while the process exits.
IdlePool& Idle() {
    static IdlePool* pool = new IdlePool;
    return *pool;
}

std::unique_ptr<Store> TakeIdle(const std::string& path) {
    IdlePool& pool = Idle();
    std::lock_guard<std::mutex> lock(pool.mutex);
    unsigned now = g_forkGeneration.load(std::memory_order_relaxed);
    if (pool.generation != now) {
        for (auto& entry : pool.byPath) {
            for (auto& store : entry.second) static_cast<void>(store.release());
        }
        pool.byPath.clear();
        pool.generation = now;
    }
    auto it = pool.byPath.find(path);
    if (it == pool.byPath.end() || it->second.empty()) return nullptr;
    std::unique_ptr<Store> store = std::move(it->second.back());
    it->second.pop_back();
    return store;
}

void GiveIdle(const std::string& path, std::unique_ptr<Store> store) {
    if (store->transactionDepth > 0) {
        sqlite3_exec(store->db, "ROLLBACK", nullptr, nullptr, nullptr);
        store->transactionDepth = 0;
    }
    IdlePool& pool = Idle();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (pool.generation != g_forkGeneration.load(std::memory_order_relaxed)) {
        static_cast<void>(store.release());
        return;
    }
    auto& idle = pool.byPath[path];
    if (idle.size() < kMaxIdlePerStore) idle.push_back(std::move(store));
}

struct ThreadStores {
    unsigned generation = 0;
    std::map<std::string, std::unique_ptr<Store>> byPath;

    void ForgetInherited() {
        unsigned now = g_forkGeneration.load(std::memory_order_relaxed);
        if (generation == now) return;
        for (auto& entry : byPath) static_cast<void>(entry.second.release());
        byPath.clear();
        generation = now;
    }

    ~ThreadStores() {
        ForgetInherited();
        // The main thread ends with the process: its connections close, so the
        // store is checkpointed and its WAL files go.
        if (::gettid() == ::getpid()) return;
        for (auto& entry : byPath) GiveIdle(entry.first, std::move(entry.second));
    }
};
thread_local ThreadStores t_stores;

// Resets a statement on scope exit so that no read transaction stays open.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* s) : s_(s) {}
    ~StatementUse() {
        if (s_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    sqlite3_stmt* get() const { return s_; }

private:
    sqlite3_stmt* s_;
};

long Exec(Store& store, const char* sql) {
    return ErrorFromSqlite(sqlite3_exec(store.db, sql, nullptr, nullptr, nullptr));
}

bool HasSchema(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('keys', 'vals')", -1, &s, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(s);
        return false;
    }
    bool ok = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == 2;
    sqlite3_finalize(s);
    return ok;
}

long OpenStore(const std::string& path, bool mayCreate, Store** result) {
    std::call_once(g_atForkOnce, [] {
        // Anything else in the process that closes a descriptor of the store
        // (a template naming registry.db) must not drop the store's locks.
        KeepSqliteLocksPerProcess();
        SystemCalls().pthread_atfork(nullptr, nullptr,
                                     [] { g_forkGeneration.fetch_add(1, std::memory_order_relaxed); });
    });
    t_stores.ForgetInherited();
    auto it = t_stores.byPath.find(path);
    if (it != t_stores.byPath.end()) {
        *result = it->second.get();
        return ERROR_SUCCESS;
    }
    if (std::unique_ptr<Store> idle = TakeIdle(path)) {
        *result = idle.get();
        t_stores.byPath.emplace(path, std::move(idle));
        return ERROR_SUCCESS;
    }
    struct stat st;
    if (SystemCalls().stat(path.c_str(), &st) != 0) {
        if (!mayCreate) return Win32LastErrno();
        // Created here so that the file (and the WAL files, which copy its mode) is 0660.
        int fd = OpenShared(path, O_RDWR | O_CREAT);
        if (fd < 0) return Win32LastErrno();
        SystemCalls().close(fd);
    }
    auto store = std::make_unique<Store>();
    int rc = sqlite3_open_v2(path.c_str(), &store->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        // A store this user may only read is still readable.
        if (store->db) sqlite3_close(store->db);
        store->db = nullptr;
        rc = sqlite3_open_v2(path.c_str(), &store->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        // A store that exists but that this user may not read is not a missing one.
        if (rc != SQLITE_OK && SystemCalls().access(path.c_str(), R_OK) != 0 && errno == EACCES) return ERROR_ACCESS_DENIED;
        if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    }
    sqlite3_busy_timeout(store->db, 5000);
    sqlite3_extended_result_codes(store->db, 0);
    Exec(*store,
         "PRAGMA synchronous=NORMAL");  // WAL keeps the store consistent; the last commits may be lost on power failure
    if (!HasSchema(store->db)) {
        Exec(*store, "PRAGMA journal_mode=WAL");
        long err = Exec(*store, "BEGIN IMMEDIATE");
        if (err == ERROR_SUCCESS) {
            err = Exec(*store, kSchemaSql);
            if (err == ERROR_SUCCESS) {
                err = Exec(*store, "COMMIT");
            } else {
                Exec(*store, "ROLLBACK");
            }
        }
        if (err != ERROR_SUCCESS) return err;
    }
    for (int i = 0; i < kStatementCount; ++i) {
        rc = sqlite3_prepare_v3(store->db, kStatementSql[i], -1, SQLITE_PREPARE_PERSISTENT,
                                &store->statements[static_cast<std::size_t>(i)], nullptr);
        if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    }
    *result = store.get();
    t_stores.byPath.emplace(path, std::move(store));
    return ERROR_SUCCESS;
}

std::string StorePathOf(const RegKeyObject* key) {
    return key->predefined ? RegLocalStorePath() : key->storePath;
}

sqlite3_stmt* Stmt(Store& store, StatementId id) {
    return store.statements[id];
}

void BindText(sqlite3_stmt* s, int index, std::string_view text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

long FindChild(Store& store, sqlite3_int64 parent, std::string_view name, sqlite3_int64* id,
               std::string* storedName = nullptr) {
    StatementUse use(Stmt(store, kFindChild));
    sqlite3_bind_int64(use.get(), 1, parent);
    std::string upper = UpperAscii(name);
    BindText(use.get(), 2, upper);
    int rc = sqlite3_step(use.get());
    if (rc == SQLITE_ROW) {
        *id = sqlite3_column_int64(use.get(), 0);
        if (storedName) {
            const unsigned char* text = sqlite3_column_text(use.get(), 1);
            storedName->assign(text ? reinterpret_cast<const char*>(text) : "");
        }
        return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    return ErrorFromSqlite(rc);
}

bool KeyExists(Store& store, sqlite3_int64 id) {
    StatementUse use(Stmt(store, kKeyExists));
    sqlite3_bind_int64(use.get(), 1, id);
    return sqlite3_step(use.get()) == SQLITE_ROW;
}

// Resolves the key id of a handle in its store.
long KeyIdOf(Store& store, const RegKeyObject* key, sqlite3_int64* id) {
    if (!key->predefined) {
        *id = key->keyId;
        return ERROR_SUCCESS;
    }
    auto it = store.rootIds.find(key->rootName);
    if (it != store.rootIds.end()) {
        *id = it->second;
        return ERROR_SUCCESS;
    }
    long err = FindChild(store, 0, key->rootName, id);
    if (err == ERROR_SUCCESS) store.rootIds.emplace(key->rootName, *id);
    return err;
}

struct Resolved {
    Store* store = nullptr;
    sqlite3_int64 id = 0;
    std::string storePath;
};

long Resolve(HKEY key, std::uint32_t neededAccess, Resolved* out) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (neededAccess && (key->access & neededAccess) == 0) return ERROR_ACCESS_DENIED;
    out->storePath = StorePathOf(key);
    long err = OpenStore(out->storePath, key->predefined, &out->store);
    if (err != ERROR_SUCCESS) return err;
    return KeyIdOf(*out->store, key, &out->id);
}

// A missing row under a handle: the key itself may be gone.
long MissingUnder(const Resolved& r) {
    return KeyExists(*r.store, r.id) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t sep = path.find('\\', pos);
        if (sep == std::string_view::npos) sep = path.size();
        if (sep > pos) parts.push_back(path.substr(pos, sep - pos));
        pos = sep + 1;
    }
    return parts;
}

long CheckComponents(const std::vector<std::string_view>& parts) {
    for (std::string_view part : parts) {
        if (part.size() > kRegMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

HKEY NewHandle(const Resolved& r, sqlite3_int64 id, std::uint32_t access, std::string path) {
    auto* handle = new RegKeyObject;
    handle->storePath = r.storePath;
    handle->keyId = id;
    handle->access = access;
    handle->path = std::move(path);
    return handle;
}

// Runs body in a transaction of store, joining one already open on this thread.
template <class Body>
long InTransaction(Store& store, Body&& body) {
    if (store.transactionDepth > 0) return body();
    long err = Exec(store, "BEGIN IMMEDIATE");
    if (err != ERROR_SUCCESS) return err;
    ++store.transactionDepth;
    long result;
    try {
        result = body();
    } catch (...) {
        --store.transactionDepth;
        Exec(store, "ROLLBACK");
        throw;
    }
    --store.transactionDepth;
    if (result == ERROR_SUCCESS) {
        result = Exec(store, "COMMIT");
        if (result != ERROR_SUCCESS) Exec(store, "ROLLBACK");
    } else {
        Exec(store, "ROLLBACK");
    }
    return result;
}

}  // namespace

HKEY const HKEY_CLASSES_ROOT = &g_classesRoot;
HKEY const HKEY_CURRENT_USER = &g_currentUser;
HKEY const HKEY_LOCAL_MACHINE = &g_localMachine;
HKEY const HKEY_USERS = &g_users;

std::string RegLocalStorePath() {
    return HomePath("registry.db");
}

bool RegStoreStamp(HKEY key, std::string* storePath, std::uint64_t* stamp) {
    if (!key || !storePath || !stamp) return false;
    *storePath = StorePathOf(key);
    return RegistryStoreStamp(*storePath, *stamp);
}

long RegOpenKey(HKEY parent, std::string_view subkey, std::uint32_t access, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Resolved r;
    long err = Resolve(parent, 0, &r);
    if (err != ERROR_SUCCESS) return err;
    std::vector<std::string_view> parts = SplitKeyPath(subkey);
    if ((err = CheckComponents(parts)) != ERROR_SUCCESS) return err;
    sqlite3_int64 id = r.id;
    std::string path = parent->path;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string stored;
        err = FindChild(*r.store, id, parts[i], &id, &stored);
        if (err == ERROR_FILE_NOT_FOUND && i == 0 && !KeyExists(*r.store, r.id)) return ERROR_KEY_DELETED;
        if (err != ERROR_SUCCESS) return err;
        path += "\\" + stored;
    }
    if (parts.empty() && !KeyExists(*r.store, id)) return ERROR_KEY_DELETED;
    *result = NewHandle(r, id, access, std::move(path));
    return ERROR_SUCCESS;
}

long RegCreateKey(HKEY parent, std::string_view subkey, HKEY* result, bool* created) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (created) *created = false;
    // Opening first lets a reader with a read-only store reach existing keys.
    HKEY existing = nullptr;
    long err = RegOpenKey(parent, subkey, KEY_ALL_ACCESS, &existing);
    if (err == ERROR_SUCCESS) {
        if ((parent->access & KEY_CREATE_SUB_KEY) == 0) {
            RegCloseKey(existing);
            return ERROR_ACCESS_DENIED;
        }
        *result = existing;
        return ERROR_SUCCESS;
    }
    if (err != ERROR_FILE_NOT_FOUND) return err;

    Resolved r;
    if ((err = Resolve(parent, KEY_CREATE_SUB_KEY, &r)) != ERROR_SUCCESS) return err;
    std::vector<std::string_view> parts = SplitKeyPath(subkey);
    if ((err = CheckComponents(parts)) != ERROR_SUCCESS) return err;
    sqlite3_int64 id = r.id;
    std::string path = parent->path;
    bool lastCreated = false;
    err = InTransaction(*r.store, [&]() -> long {
        if (!KeyExists(*r.store, r.id)) return ERROR_KEY_DELETED;
        for (std::string_view part : parts) {
            std::string stored;
            long e = FindChild(*r.store, id, part, &id, &stored);
            lastCreated = false;
            if (e == ERROR_FILE_NOT_FOUND) {
                StatementUse use(Stmt(*r.store, kInsertKey));
                sqlite3_bind_int64(use.get(), 1, id);
                BindText(use.get(), 2, part);
                std::string upper = UpperAscii(part);
                BindText(use.get(), 3, upper);
                int rc = sqlite3_step(use.get());
                if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
                id = sqlite3_last_insert_rowid(r.store->db);
                stored.assign(part);
                lastCreated = true;
            } else if (e != ERROR_SUCCESS) {
                return e;
            }
            path += "\\" + stored;
        }
        return ERROR_SUCCESS;
    });
    if (err != ERROR_SUCCESS) return err;
    if (created) *created = lastCreated;
    *result = NewHandle(r, id, KEY_ALL_ACCESS, std::move(path));
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (!key->predefined) delete key;
    return ERROR_SUCCESS;
}

namespace {

bool ValidMachineName(std::string_view machine) {
    return !machine.empty() && machine.size() <= 255 && machine.find('/') == std::string_view::npos &&
           machine.find('\\') == std::string_view::npos && machine.find("..") == std::string_view::npos;
}

}  // namespace

long RegCreateMachineStore(std::string_view machine) {
    while (!machine.empty() && (machine.front() == '\\' || machine.front() == '/')) machine.remove_prefix(1);
    if (!ValidMachineName(machine)) return ERROR_INVALID_NAME;
    std::string path = ResolvePathNoCase(HomePath("machines") + "/" + std::string(machine) + ".db");
    Store* store = nullptr;
    return OpenStore(path, true, &store);
}

long RegConnectRegistry(std::string_view machine, HKEY root, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!root || !root->predefined) return ERROR_INVALID_HANDLE;
    while (!machine.empty() && (machine.front() == '\\' || machine.front() == '/')) machine.remove_prefix(1);
    char host[256] = {};
    SystemCalls().gethostname(host, sizeof host - 1);
    std::string storePath;
    if (machine.empty() || machine == "." || EqualsNoCase(machine, "localhost") || EqualsNoCase(machine, host)) {
        storePath = RegLocalStorePath();
    } else {
        if (!ValidMachineName(machine)) return RPC_S_SERVER_UNAVAILABLE;
        storePath = ResolvePathNoCase(HomePath("machines") + "/" + std::string(machine) + ".db");
        struct stat st;
        if (SystemCalls().stat(storePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return RPC_S_SERVER_UNAVAILABLE;
    }
    Store* store = nullptr;
    long err = OpenStore(storePath, storePath == RegLocalStorePath(), &store);
    if (err != ERROR_SUCCESS) return RPC_S_SERVER_UNAVAILABLE;
    sqlite3_int64 id = 0;
    if ((err = FindChild(*store, 0, root->rootName, &id)) != ERROR_SUCCESS) return err;
    Resolved r;
    r.store = store;
    r.storePath = storePath;
    *result = NewHandle(r, id, KEY_ALL_ACCESS, root->rootName);
    return ERROR_SUCCESS;
}

long RegSetValue(HKEY key, std::string_view name, std::uint32_t type, std::string_view data) {
    if (name.size() > kRegMaxValueNameLength || data.size() > kRegMaxValueSize) return ERROR_INVALID_PARAMETER;
    Resolved r;
    long err = Resolve(key, KEY_SET_VALUE, &r);
    if (err != ERROR_SUCCESS) return err;
    StatementUse use(Stmt(*r.store, kUpsertValue));
    sqlite3_bind_int64(use.get(), 1, r.id);
    BindText(use.get(), 2, name);
    std::string upper = UpperAscii(name);
    BindText(use.get(), 3, upper);
    sqlite3_bind_int64(use.get(), 4, type);
    sqlite3_bind_blob(use.get(), 5, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(use.get());
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    if (sqlite3_changes(r.store->db) == 0) return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

long RegSetString(HKEY key, std::string_view name, std::string_view text) {
    return RegSetValue(key, name, REG_SZ, text);
}

namespace {

std::string ColumnBytes(sqlite3_stmt* s, int column) {
    const void* blob = sqlite3_column_blob(s, column);
    int n = sqlite3_column_bytes(s, column);
    return blob && n > 0 ? std::string(static_cast<const char*>(blob), static_cast<std::size_t>(n)) : std::string();
}

std::size_t NeededSize(std::uint32_t type, std::size_t length) {
    return type == REG_SZ ? length + 1 : length;
}

}  // namespace

long RegQueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::string* data, std::size_t bufferSize,
                   std::size_t* requiredSize) {
    if (data) data->clear();
    Resolved r;
    long err = Resolve(key, KEY_QUERY_VALUE, &r);
    if (err != ERROR_SUCCESS) return err;
    if (name.size() > kRegMaxValueNameLength) return MissingUnder(r);  // no such value can exist
    StatementUse use(Stmt(*r.store, kQueryValue));
    sqlite3_bind_int64(use.get(), 1, r.id);
    std::string upper = UpperAscii(name);
    BindText(use.get(), 2, upper);
    int rc = sqlite3_step(use.get());
    if (rc == SQLITE_DONE) return MissingUnder(r);
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    auto valueType = static_cast<std::uint32_t>(sqlite3_column_int64(use.get(), 0));
    std::size_t length = static_cast<std::size_t>(sqlite3_column_bytes(use.get(), 1));
    std::size_t needed = NeededSize(valueType, length);
    if (type) *type = valueType;
    if (requiredSize) *requiredSize = needed;
    if (bufferSize != 0 && needed > bufferSize) return ERROR_MORE_DATA;
    if (data) *data = ColumnBytes(use.get(), 1);
    return ERROR_SUCCESS;
}

long RegEnumKey(HKEY key, std::uint32_t index, std::string* name, std::size_t nameBufferSize) {
    if (name) name->clear();
    Resolved r;
    long err = Resolve(key, KEY_ENUMERATE_SUB_KEYS, &r);
    if (err != ERROR_SUCCESS) return err;
    // Predefined roots are shared by every thread and keep no cursor.
    std::unique_lock<std::mutex> cursor;
    if (!key->predefined) cursor = std::unique_lock<std::mutex>(key->cursorMutex);
    bool next = !key->predefined && index != 0 && index == key->nextKeyIndex;
    StatementUse use(Stmt(*r.store, next ? kEnumKeyAfter : kEnumKey));
    sqlite3_bind_int64(use.get(), 1, r.id);
    if (next) {
        BindText(use.get(), 2, key->lastKeyUname);
    } else {
        sqlite3_bind_int64(use.get(), 2, index);
    }
    int rc = sqlite3_step(use.get());
    if (rc == SQLITE_DONE) return KeyExists(*r.store, r.id) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    std::string found = ColumnBytes(use.get(), 0);
    if (nameBufferSize != 0 && found.size() + 1 > nameBufferSize) return ERROR_MORE_DATA;
    if (!key->predefined) {
        key->nextKeyIndex = index + 1;
        key->lastKeyUname = ColumnBytes(use.get(), 1);
    }
    if (name) *name = std::move(found);
    return ERROR_SUCCESS;
}

long RegEnumValue(HKEY key, std::uint32_t index, std::string* name, std::uint32_t* type, std::string* data,
                  std::size_t nameBufferSize, std::size_t dataBufferSize) {
    if (name) name->clear();
    if (data) data->clear();
    Resolved r;
    long err = Resolve(key, KEY_QUERY_VALUE, &r);
    if (err != ERROR_SUCCESS) return err;
    std::unique_lock<std::mutex> cursor;
    if (!key->predefined) cursor = std::unique_lock<std::mutex>(key->cursorMutex);
    bool next = !key->predefined && index != 0 && index == key->nextValueIndex;
    StatementUse use(Stmt(*r.store, next ? kEnumValueAfter : kEnumValue));
    sqlite3_bind_int64(use.get(), 1, r.id);
    sqlite3_bind_int64(use.get(), 2, next ? key->lastValueSeq : static_cast<sqlite3_int64>(index));
    int rc = sqlite3_step(use.get());
    if (rc == SQLITE_DONE) return KeyExists(*r.store, r.id) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    std::string foundName = ColumnBytes(use.get(), 0);
    auto valueType = static_cast<std::uint32_t>(sqlite3_column_int64(use.get(), 1));
    std::size_t length = static_cast<std::size_t>(sqlite3_column_bytes(use.get(), 2));
    if (type) *type = valueType;
    if (nameBufferSize != 0 && foundName.size() + 1 > nameBufferSize) return ERROR_MORE_DATA;
    if (!key->predefined) {
        key->nextValueIndex = index + 1;
        key->lastValueSeq = sqlite3_column_int64(use.get(), 3);
    }
    if (name) *name = std::move(foundName);
    if (data && dataBufferSize != 0 && NeededSize(valueType, length) > dataBufferSize) return ERROR_MORE_DATA;
    if (data) *data = ColumnBytes(use.get(), 2);
    return ERROR_SUCCESS;
}

long RegDeleteValue(HKEY key, std::string_view name) {
    Resolved r;
    long err = Resolve(key, KEY_SET_VALUE, &r);
    if (err != ERROR_SUCCESS) return err;
    if (name.size() > kRegMaxValueNameLength) return MissingUnder(r);
    StatementUse use(Stmt(*r.store, kDeleteValue));
    sqlite3_bind_int64(use.get(), 1, r.id);
    std::string upper = UpperAscii(name);
    BindText(use.get(), 2, upper);
    int rc = sqlite3_step(use.get());
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    if (sqlite3_changes(r.store->db) == 0) return MissingUnder(r);
    return ERROR_SUCCESS;
}

long RegDeleteKey(HKEY parent, std::string_view subkey) {
    if (SplitKeyPath(subkey).empty()) return ERROR_ACCESS_DENIED;  // a key cannot delete itself
    HKEY target = nullptr;
    long err = RegOpenKey(parent, subkey, KEY_ALL_ACCESS, &target);
    if (err != ERROR_SUCCESS) return err;
    std::unique_ptr<RegKeyObject> holder(target);
    if ((parent->access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) == 0) return ERROR_ACCESS_DENIED;
    Resolved r;
    if ((err = Resolve(target, 0, &r)) != ERROR_SUCCESS) return err;
    return InTransaction(*r.store, [&]() -> long {
        {
            StatementUse use(Stmt(*r.store, kHasChildren));
            sqlite3_bind_int64(use.get(), 1, r.id);
            if (sqlite3_step(use.get()) == SQLITE_ROW) return ERROR_ACCESS_DENIED;
        }
        for (StatementId id : {kDeleteKeyValues, kDeleteKeyRow}) {
            StatementUse use(Stmt(*r.store, id));
            sqlite3_bind_int64(use.get(), 1, r.id);
            int rc = sqlite3_step(use.get());
            if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
        }
        return ERROR_SUCCESS;
    });
}

namespace {

long DeleteTreeBelow(HKEY parent, std::string_view subkey) {
    HKEY key = nullptr;
    long err = RegOpenKey(parent, subkey, KEY_ALL_ACCESS, &key);
    if (err != ERROR_SUCCESS) return err;
    std::vector<std::string> children;
    std::string name;
    for (std::uint32_t i = 0; (err = RegEnumKey(key, i, &name)) == ERROR_SUCCESS; ++i) children.push_back(name);
    if (err == ERROR_NO_MORE_ITEMS) {
        err = ERROR_SUCCESS;
        for (const std::string& child : children) {
            if ((err = DeleteTreeBelow(key, child)) != ERROR_SUCCESS) break;
        }
    }
    RegCloseKey(key);
    return err == ERROR_SUCCESS ? RegDeleteKey(parent, subkey) : err;
}

}  // namespace

long RegDeleteTree(HKEY parent, std::string_view subkey) {
    if (SplitKeyPath(subkey).empty()) return ERROR_ACCESS_DENIED;
    // One transaction, so that a concurrent writer cannot add a child between
    // enumeration and deletion.
    return RegRunTransaction(parent, [&] { return DeleteTreeBelow(parent, subkey); });
}

long RegRunTransaction(HKEY key, const std::function<long()>& body) {
    Resolved r;
    long err = Resolve(key, 0, &r);
    if (err != ERROR_SUCCESS) return err;
    return InTransaction(*r.store, [&]() -> long { return body(); });
}

std::string RegKeyPath(HKEY key) {
    return key ? key->path : std::string();
}

bool RegSplitRootPath(std::string_view fullPath, HKEY* root, std::string* rest) {
    std::size_t sep = fullPath.find('\\');
    std::string_view first = fullPath.substr(0, sep);
    struct Alias {
        const char* longName;
        const char* shortName;
        HKEY key;
    };
    const Alias aliases[] = {{"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
                             {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
                             {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
                             {"HKEY_USERS", "HKU", HKEY_USERS}};
    for (const Alias& alias : aliases) {
        if (EqualsNoCase(first, alias.longName) || EqualsNoCase(first, alias.shortName)) {
            if (root) *root = alias.key;
            if (rest) *rest = sep == std::string_view::npos ? std::string() : std::string(fullPath.substr(sep + 1));
            return true;
        }
    }
    return false;
}

void RegCloseThreadConnections() {
    t_stores.ForgetInherited();
    t_stores.byPath.clear();
    IdlePool& pool = Idle();
    std::map<std::string, std::vector<std::unique_ptr<Store>>> closing;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (pool.generation == g_forkGeneration.load(std::memory_order_relaxed)) closing.swap(pool.byPath);
    }
}

}  // namespace tessaro::platform
