#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/templates/template_roots.h"

namespace {

namespace fs = std::filesystem;

class TemplateRootsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tsroots-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base_ = pattern;
        fs::create_directories(base_ + "/docs/sub");
        fs::create_directories(base_ + "/other");
        fs::create_directories(base_ + "/docsx");
        std::ofstream(base_ + "/docs/sub/a.tsm") << "a";
        std::ofstream(base_ + "/other/b.tsm") << "b";
        std::ofstream(base_ + "/docsx/c.tsm") << "c";
        fs::create_symlink(base_ + "/other", base_ + "/docs/out");
        fs::create_symlink(base_ + "/docs/sub", base_ + "/linkroot");
    }
    void TearDown() override { fs::remove_all(base_); }
    std::string base_;
};

TEST_F(TemplateRootsTest, OnlyFilesBelowARootByRealPathAreInside) {
    const std::vector<std::string> roots{base_ + "/docs/", base_ + "/linkroot"};
    struct Case {
        std::string path;
        bool inside;
    } const cases[] = {
        {base_ + "/docs/sub/a.tsm", true},
        {base_ + "/DOCS/SUB/A.TSM", true},
        {base_ + "/docs/sub/../sub/a.tsm", true},
        {base_ + "/docs/sub/missing.tsm", true},
        {base_ + "\\docs\\sub\\a.tsm", true},
        {base_ + "/docs/../other/b.tsm", false},
        {base_ + "/docs/sub/../../other/b.tsm", false},
        {base_ + "/docs/out/b.tsm", false},
        {base_ + "/docsx/c.tsm", false},
        {base_ + "/docs", false},
        {"/etc/passwd", false},
        {base_ + "/docs/../../../../../../etc/passwd", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsInsideTemplateRoots(c.path, roots), c.inside) << c.path;
    EXPECT_FALSE(IsInsideTemplateRoots(base_ + "/docs/sub/a.tsm", {}));
    EXPECT_FALSE(IsInsideTemplateRoots(base_ + "/docs/sub/a.tsm", {""}));
}

}  // namespace
