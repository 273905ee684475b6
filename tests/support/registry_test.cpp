#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "support/registry.h"
#include "tests/common/registry_home_fixture.h"

namespace reg = tessaro::platform;

namespace {

class RegistryTest : public RegistryHomeTest {
protected:
    void SetUp() override {
        RegistryHomeTest::SetUp();
        root_ = OpenTessaroRootKey();
        settings_ = std::make_unique<CRegistrySettings>(root_.get());
    }
    void TearDown() override {
        settings_.reset();
        root_.reset();
        RegistryHomeTest::TearDown();
    }
    // Runs f and returns the error code of the CRegistryException it throws (0 if none).
    template <class F>
    static long CodeOf(F f) {
        try {
            f();
        } catch (CRegistryException* e) {
            long code = e->GetErrorCode();
            e->Delete();
            return code;
        }
        return 0;
    }
    std::unique_ptr<CRegistryKey> root_;
    std::unique_ptr<CRegistrySettings> settings_;
};

TEST(RegistryExceptionTest, MessagesFollowTheErrorCode) {
    EXPECT_EQ(CRegistryException(5).GetErrorMessage(),
              "A problem was encountered trying to access the system registry. Error number 5 occurred - "
              "Access denied to registry key (probably due to security constraints).");
    EXPECT_EQ(CRegistryException(2).GetErrorMessage(),
              "A problem was encountered trying to access the system registry. Error number 2 occurred.");
    EXPECT_TRUE(CRegistryException(1722).GetDetail().empty());
    EXPECT_STREQ(CRegistryException(2).GetTypeName(), "CRegistryException");
}

TEST_F(RegistryTest, MissingSectionsAndValuesGiveTheDefault) {
    EXPECT_EQ(settings_->GetNumber("Server", "MaxRequests", 15), 15);
    EXPECT_EQ(settings_->GetString("Server", "Name", "dflt"), "dflt");
    settings_->Set("Server", "Other", "1");
    EXPECT_EQ(settings_->GetNumber("Server", "MaxRequests", 15), 15);
}

TEST_F(RegistryTest, NumbersUseTheRuntimeConversionRule) {
    struct Case {
        const char* text;
        long expected;
    } cases[] = {{"  42abc", 42}, {"abc", 0}, {"-17", -17}, {"+8", 8}, {"", 0}, {"99999999999999999999", 2147483647L}};
    for (const Case& c : cases) {
        settings_->Set("Server", "N", c.text);
        EXPECT_EQ(settings_->GetNumber("Server", "N", 15), c.expected) << c.text;
    }
}

TEST_F(RegistryTest, SetCreatesTheSectionAndValuesReadBack) {
    settings_->Set("DataSources\\Sales", "Driver", "SQLite3");
    EXPECT_TRUE(CRegistryKey::OpenReadOnly(*root_, "datasources\\SALES"));
    EXPECT_EQ(settings_->GetString("DataSources\\Sales", "driver", ""), "SQLite3");
    CRegistryKey key(*root_, "DataSources", KEY_READ);
    std::vector<std::string> names;
    key.EnumSubKeys(names);
    EXPECT_EQ(names, std::vector<std::string>{"Sales"});
}

TEST_F(RegistryTest, OpenReadOnlyOfAMissingKeyIsFalseWithoutException) {
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*root_, "Nope"));
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope\\Deeper"));
    EXPECT_EQ(CodeOf([&] { CRegistryKey key(*root_, "Nope", KEY_READ); }), 2);
}

TEST_F(RegistryTest, WritingThroughAReadOnlyKeyIsAccessDenied) {
    settings_->Set("Server", "A", "1");
    CRegistryKey key(*root_, "Server", KEY_READ);
    try {
        key.SetString("A", "2");
        FAIL() << "no exception";
    } catch (CRegistryException* e) {
        EXPECT_EQ(e->GetErrorMessage(),
                  "A problem was encountered trying to access the system registry. Error number 5 occurred - "
                  "Access denied to registry key (probably due to security constraints).");
        e->Delete();
    }
}

TEST_F(RegistryTest, EnumValueNamesSkipsNonStringValues) {
    settings_->Set("Mixed", "first", "1");
    CRegistryKey key(*root_, "Mixed", KEY_ALL_ACCESS);
    ASSERT_EQ(reg::RegSetValue(key.GetHandle(), "dword", reg::REG_DWORD, std::string(4, '\0')), 0);
    ASSERT_EQ(reg::RegSetValue(key.GetHandle(), "binary", reg::REG_BINARY, "xyz"), 0);
    key.SetString("second", std::string(2000, 'v'));  // longer than the enumeration's data buffer
    std::vector<std::string> names{"stale"};
    key.EnumValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
    std::map<std::string, std::string> values;
    key.GetValues(values);
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(values["first"], "1");
}

TEST_F(RegistryTest, ValueExistsAndLongValues) {
    CRegistryKey* key = root_->CreateSubKey("Long");
    std::unique_ptr<CRegistryKey> owner(key);
    key->SetString("fits", std::string(4095, 'a'));
    key->SetString("long", std::string(5000, 'b'));
    EXPECT_TRUE(key->ValueExists("long"));
    EXPECT_FALSE(key->ValueExists("absent"));
    EXPECT_EQ(key->GetString("fits").size(), 4095u);
    EXPECT_EQ(CodeOf([&] { key->GetString("long"); }), 234);
    EXPECT_EQ(settings_->GetString("Long", "long", "dflt"), "dflt");
    key->DeleteValue("fits");
    EXPECT_FALSE(key->ValueExists("fits"));
    EXPECT_EQ(CodeOf([&] { key->DeleteValue("fits"); }), 2);
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesEveryLevel) {
    settings_->Set("Clients\\1\\Vars\\Deep", "x", "1");
    settings_->Set("Clients\\1\\Other", "y", "2");
    settings_->Set("Clients\\2", "z", "3");
    CRegistryKey::DeleteKeyTree(*root_, "Clients\\1");
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*root_, "Clients\\1"));
    EXPECT_TRUE(CRegistryKey::OpenReadOnly(*root_, "Clients\\2"));
    EXPECT_EQ(CodeOf([&] { CRegistryKey::DeleteKeyTree(*root_, "Clients\\1"); }), 2);
    settings_->DeleteSection("Clients");
    settings_->DeleteSection("Never\\There");  // silent
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*root_, "Clients"));
}

TEST_F(RegistryTest, EnumerateIsAReadAndNeverCreates) {
    std::vector<std::string> names{"stale"};
    settings_->Enumerate("CustomTags", names);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(*root_, "CustomTags"));
    settings_->Set("CustomTags", "TSX_A", "liba.so");
    settings_->Enumerate("CustomTags", names);
    EXPECT_EQ(names, std::vector<std::string>{"TSX_A"});
}

TEST_F(RegistryTest, SubKeysCanBeDeletedOneByOne) {
    settings_->Set("Clients\\7", "LASTVISIT", "x");
    CRegistryKey clients(*root_, "Clients", KEY_ALL_ACCESS);
    clients.DeleteSubKey("7");
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(clients, "7"));
}

TEST_F(RegistryTest, RemoteMachines) {
    EXPECT_EQ(CodeOf([] { CRegistryKey key("\\\\NOWHERE", HKEY_LOCAL_MACHINE); }), 1722);
    ASSERT_EQ(reg::RegCreateMachineStore("SECOND"), 0);
    auto remote = CRegistryKey::ConnectRemote("\\\\SECOND", HKEY_LOCAL_MACHINE);
    CRegistryKey::EnsureSubKey(*remote, kTessaroRegistryRoot);
    CRegistryKey remoteRoot(*remote, kTessaroRegistryRoot, KEY_ALL_ACCESS);
    CRegistrySettings remoteSettings(&remoteRoot);
    remoteSettings.Set("Server", "Where", "second");
    EXPECT_EQ(remoteSettings.GetString("Server", "Where", ""), "second");
    EXPECT_EQ(settings_->GetString("Server", "Where", "local"), "local");
    CRegistryKey local("", HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(CRegistryKey::OpenReadOnly(local, kTessaroRegistryRoot));
}

TEST_F(RegistryTest, TransactionsRollBackWhenTheBodyThrows) {
    settings_->Set("Clients", "LastID", "5");
    CRegistryKey clients(*root_, "Clients", KEY_ALL_ACCESS);
    clients.RunInTransaction([&] { clients.SetString("LastID", std::to_string(clients.GetNumber("LastID") + 1)); });
    EXPECT_EQ(clients.GetNumber("LastID"), 6);
    EXPECT_EQ(CodeOf([&] {
                  clients.RunInTransaction([&] {
                      clients.SetString("LastID", "100");
                      throw new CRegistryException(8);
                  });
              }),
              8);
    EXPECT_EQ(clients.GetNumber("LastID"), 6);
}

TEST_F(RegistryTest, NonOwningKeysLeaveTheHandleOpen) {
    reg::HKEY handle = nullptr;
    ASSERT_EQ(reg::RegOpenKey(HKEY_LOCAL_MACHINE, kTessaroRegistryRoot, KEY_READ, &handle), 0);
    { CRegistryKey wrapper(handle, false); }
    EXPECT_FALSE(CRegistryKey::OpenReadOnly(handle, "Nope"));  // still usable
    reg::RegCloseKey(handle);
}

TEST_F(RegistryTest, ReadTessaroSettingWithoutASettingsObject) {
    settings_->Set("Logging", "LogFilePath", "/x");
    EXPECT_EQ(ReadTessaroSetting("Logging", "LogFilePath", "d"), "/x");
    EXPECT_EQ(ReadTessaroSetting("Logging", "Absent", "d"), "d");
}

// Settings read are kept between reads; every way of writing the store, from this
// object, another one, another thread or another process, is seen by the next read.
TEST_F(RegistryTest, KeptValuesFollowEveryWriteToTheStore) {
    const std::string section = "Server", name = "MaxRequests";
    auto direct = [&](const char* text) {
        CRegistryKey::EnsureSubKey(*root_, section);
        CRegistryKey key(*root_, section, KEY_ALL_ACCESS);
        key.SetString(name, text);
    };
    std::unique_ptr<CRegistryKey> otherRoot = OpenTessaroRootKey();
    CRegistrySettings other(otherRoot.get());
    const std::string tsreg = std::string(TESSARO_BINARY_DIR) + "/bin/tsreg";
    const std::string path = std::string("HKEY_LOCAL_MACHINE\\") + kTessaroRegistryRoot + "\\" + section;
    auto program = [&](const std::string& arguments) {
        const std::string command = "'" + tsreg + "' " + arguments + " > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    };
    struct Step {
        const char* what;
        std::function<void()> write;
        long expected;
    };
    const Step steps[] = {
        {"this object", [&] { settings_->Set(section, name, "1"); }, 1},
        {"another settings object", [&] { other.Set(section, name, "2"); }, 2},
        {"a key of its own", [&] { direct("3"); }, 3},
        {"another thread", [&] { std::thread([&] { direct("4"); }).join(); }, 4},
        {"another process", [&] { program("set '" + path + "' " + name + " 5"); }, 5},
        {"a value deleted", [&] { CRegistryKey(*root_, section, KEY_ALL_ACCESS).DeleteValue(name); }, 15},
        {"another process again", [&] { program("set '" + path + "' " + name + " 6"); }, 6},
        {"the section deleted by another object", [&] { other.DeleteSection(section); }, 15},
    };
    // The section's list of names is kept the same way.
    auto listed = [&] {
        std::vector<std::string> names;
        settings_->Enumerate(section, names);
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    EXPECT_EQ(settings_->GetNumber(section, name, 15), 15);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(settings_->GetNumber(section, name, 15), settings_->GetNumber(section, name, 15));
        EXPECT_EQ(listed(), listed());
        step.write();
        EXPECT_EQ(settings_->GetNumber(section, name, 15), step.expected);
        EXPECT_EQ(settings_->GetString(section, name, "none"),
                  step.expected == 15 ? "none" : std::to_string(step.expected));
        EXPECT_EQ(listed(), step.expected != 15);
    }
}

}  // namespace
