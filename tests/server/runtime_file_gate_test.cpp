#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "engine/server/runtime_file_gate.h"
#include "tests/common/server_test_home.h"

namespace {

namespace fs = std::filesystem;

class RuntimeFileGateTest : public ServerTestHome {};

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
        {h + "/web/page.tsm", false},
        {h + "/tmp/upload.TMP", false},
        {h + "/registry.dbx-backup/../web/page.tsm", false},
        {"/etc/hostname", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsRuntimePrivateFile(c.path), c.refused) << c.path;
}

}  // namespace
