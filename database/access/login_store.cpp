#include "database/access/login_store.h"

#include "database/access/password_scrambler.h"
#include "support/ini_helpers.h"
#include "support/registry.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"

namespace {

constexpr const char* kMigrationMutex = "TSDataSourceLoginMutex";
constexpr std::uint32_t kMigrationWaitMs = 10000;
constexpr std::size_t kMaxDataSourceName = 255;
// Profile reads return at most this many characters.
constexpr std::size_t kMaxFileValue = 254;

// Names that cannot be a file section or a single registry key are never migrated.
bool UsableName(const std::string& name) {
    if (name.empty() || name.size() > kMaxDataSourceName) return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '\\' || c == '[' || c == ']') return false;
    }
    return true;
}

// The scrambled password is as sensitive as the plain one: the file is created private.
void CreateStoreFilePrivate() {
    std::string path = ResolveIniFile(kLoginStoreFile);
    tessaro::platform::CreateNewFile(path, 0600);
}

std::string ReadFileValue(const std::string& dataSource, const char* key) {
    return GetIniString(dataSource, key, kLoginStoreAbsent, kLoginStoreFile);
}

// The file's value of key, moving it from the registry value regName on first use.
// Returns the value as stored (scrambled for the password). writeFile stores the value read
// from the registry (as stored there) into the file.
std::string ReadOrMigrate(CRegistrySettings* settings, const std::string& dataSource, const char* key,
                          const char* regName, bool (*writeFile)(const std::string&, const std::string&)) {
    std::string value = ReadFileValue(dataSource, key);
    if (value != kLoginStoreAbsent) return value;
    if (!settings || !UsableName(dataSource)) return std::string();
    std::string section = std::string("DataSources\\") + dataSource;

    // Two requests migrating at once must not let the second read the blanked registry
    // value and write it over the first one's.
    tessaro::platform::NamedMutexLock lock;
    if (lock.Acquire(kMigrationMutex, kMigrationWaitMs) != 0) return settings->GetString(section, regName, "");
    value = ReadFileValue(dataSource, key);
    if (value != kLoginStoreAbsent) return value;

    std::string stored = settings->GetString(section, regName, "");
    // A value the file cannot give back whole stays in the registry.
    if (stored.size() > kMaxFileValue) return stored;
    // The registry is blanked only once the file holds the value, so a failed write loses nothing.
    if (writeFile(dataSource, stored) && !stored.empty()) {
        try {
            settings->Set(section, regName, "");
        } catch (CRegistryException* e) {
            e->Delete();
        }
    }
    return stored;
}

bool WriteUserAsStored(const std::string& dataSource, const std::string& user) {
    return WriteDataSourceUserID(dataSource, user);
}

// The registry holds the scrambled form already; the file gets it scrambled again from plain.
bool WritePasswordAsStored(const std::string& dataSource, const std::string& scrambled) {
    return WriteDataSourcePassword(dataSource, PasswordScrambler().Unscramble(scrambled));
}

}  // namespace

std::string GetDataSourceUserID(CRegistrySettings* settings, const std::string& dataSource) {
    return ReadOrMigrate(settings, dataSource, "DBUserID", "UserID", WriteUserAsStored);
}

std::string GetDataSourcePassword(CRegistrySettings* settings, const std::string& dataSource) {
    return PasswordScrambler().Unscramble(
        ReadOrMigrate(settings, dataSource, "DBPassword", "Password", WritePasswordAsStored));
}

bool WriteDataSourceUserID(const std::string& dataSource, const std::string& user) {
    CreateStoreFilePrivate();
    return WriteIniString(dataSource, "DBUserID", user, kLoginStoreFile);
}

bool WriteDataSourcePassword(const std::string& dataSource, const std::string& password) {
    CreateStoreFilePrivate();
    return WriteIniString(dataSource, "DBPassword", PasswordScrambler().Scramble(password), kLoginStoreFile);
}
