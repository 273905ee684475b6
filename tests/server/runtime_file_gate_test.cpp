#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "support/runtime_file_gate.h"
#include "tests/common/server_test_home.h"

namespace {

namespace fs = std::filesystem;

class RuntimeFileGateTest : public ServerTestHome {};

// Sets a variable for one scope and puts the old value back.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

TEST_F(RuntimeFileGateTest, AddedPathsAndTheTemplatesTempFolder) {
    const std::string h = home();
    fs::create_directories(h + "/spool");
    CRuntimeFileGate gate;
    gate.AddPrivatePath(h + "/spool/");
    EXPECT_TRUE(gate.IsPrivate(h + "/spool/x.msg"));
    EXPECT_TRUE(gate.IsPrivate(h + "/./spool"));
    EXPECT_FALSE(gate.IsPrivate(h + "/spooled/x"));
    // What one gate learned is its own.
    EXPECT_FALSE(CRuntimeFileGate().IsPrivate(h + "/spool/x.msg"));
    EXPECT_FALSE(RootOnlyFileGate().IsPrivate(h + "/spool/x.msg"));
    EXPECT_EQ(TemplateTempDirectory(), h + "/tmp/templates/");
    EXPECT_TRUE(fs::is_directory(h + "/tmp/templates"));
    EXPECT_TRUE(PathHasNul(std::string("a\0b", 3)));
    EXPECT_FALSE(PathHasNul("ab"));
}

TEST_F(RuntimeFileGateTest, PrivateFilesAreRefusedInEverySpelling) {
    SetValue("Server", "Any", "1");  // the store and its WAL files exist
    const std::string h = home();
    fs::create_directories(h + "/web");
    fs::create_directories(h + "/windows");
    std::ofstream(h + "/windows/KSML.INI") << "[x]\n";
    std::ofstream(h + "/web/page.tsm") << "page";
    fs::create_symlink(h + "/registry.db", h + "/web/store.tsm");
    fs::create_symlink(h, h + "/web/up");
    ASSERT_EQ(::link((h + "/registry.db").c_str(), (h + "/web/hard.tsm").c_str()), 0);
    // The ODBC files the engine was started with, wherever they are.
    fs::create_directories(h + "/odbc");
    std::ofstream(h + "/odbc/odbc.ini") << "[x]\n";
    std::ofstream(h + "/odbc/odbcinst.ini") << "[y]\n";
    std::ofstream(h + "/odbc/other.ini") << "[z]\n";
    fs::create_symlink(h + "/odbc/odbc.ini", h + "/web/odbc-link.ini");
    EnvironmentVariable ini("ODBCINI", h + "/odbc/odbc.ini"), sys("ODBCSYSINI", h + "/odbc");

    struct Case {
        std::string path;
        bool refused;
    } const cases[] = {
        {h + "/registry.db", true},
        {h + "/registry.db-wal", true},
        {h + "/registry.db-shm", true},
        {h + "/registry.db-journal", true},
        {h + "/REGISTRY.DB", true},
        {h + "\\registry.db", true},
        {h + "/./registry.db", true},
        {h + "/tmp/../registry.db", true},
        {h + "/web/store.tsm", true},
        {h + "/web/up/registry.db", true},
        {h + "/web/hard.tsm", true},
        {h + "/windows/KSML.INI", true},
        {h + "/web/up/windows/KSML.INI", true},
        {h + "/run/anything", true},
        {h + "/scm", true},
        {h + "/log/SERVER.LOG", true},
        {h + "/machines/OTHER.db", true},
        {h + "/Mail/SPOOL/BTS1.TSM", true},
        {h + "/tsr/chart.gif", true},
        {h + "/tmp/upload.TMP", true},
        {h + "/tmp/tsr/REQ1/REQUEST.DAT", true},
        {h + "/tmp", true},
        {h + "/tmp/templates/../body/x", true},
        {h + "/odbc/odbc.ini", true},
        {h + "/odbc/odbcinst.ini", true},
        {h + "/web/odbc-link.ini", true},
        {h + "/web/page.tsm" + std::string(1, '\0') + ".txt", true},
        {h + "/web/page.tsm", false},
        {h + "/tmp/templates/notes.txt", false},
        {h + "/tmp/templates", false},
        {h + "/odbc/other.ini", false},
        {h, true},
        {h + "/", true},
        {h + "/notes.txt", true},
        {h + "/web", false},
        {"/proc/self/environ", true},
        {"/proc/1/cmdline", true},
        {"/sys/kernel", true},
        {h + "/registry.dbx-backup/../web/page.tsm", false},
        {"/etc/hostname", false},
    };
    for (const Case& c : cases) EXPECT_EQ(RootOnlyFileGate().IsPrivate(c.path), c.refused) << c.path;
}

}  // namespace
