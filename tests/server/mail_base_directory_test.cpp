// The mail folder the engine wrote as its default follows the runtime root when the root is
// moved; any other folder stays where it is.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/server/mail_message.h"
#include "tests/common/server_test_home.h"

namespace {

class MailBaseDirectory : public ServerTestHome {
protected:
    std::string Follow(const std::string& base) {
        auto root = OpenTessaroRootKey();
        CRegistrySettings settings(root.get());
        return MailBaseFollowingTheRoot(settings, base);
    }
};

TEST_F(MailBaseDirectory, TheDefaultFolderIsWrittenWithItsRoot) {
    std::string error;
    ASSERT_TRUE(CreateDefaultMailDirectories(error)) << error;
    EXPECT_EQ(GetValue("Mail", "BaseDirectory"), home() + "/Mail/");
    EXPECT_EQ(GetValue("Mail", "BaseDirectoryRoot"), home());
    EXPECT_EQ(Follow(home() + "/Mail/"), home() + "/Mail/");
}

TEST_F(MailBaseDirectory, AFolderInsideAMovedRootFollowsIt) {
    struct Case {
        const char* name;
        std::string recordedRoot;  // "" when no root was recorded beside it
        std::string base;
        std::string expected;
    } const cases[] = {
        {"inside the recorded old root", "/srv/old-root", "/srv/old-root/Mail/", home() + "/Mail/"},
        {"deeper inside it", "/srv/old-root/", "/srv/old-root/spool/mail/", home() + "/spool/mail/"},
        {"outside the recorded root", "/srv/old-root", "/var/mail/tessaro/", "/var/mail/tessaro/"},
        {"a name that only begins like it", "/srv/old-root", "/srv/old-rooted/Mail/", "/srv/old-rooted/Mail/"},
        {"an older record whose root has gone", "", "/srv/gone-root-xyz/Mail/", home() + "/Mail/"},
        {"an older record whose root is there", "", "/tmp/Mail/", "/tmp/Mail/"},
        {"an older record of another folder", "", "/srv/gone-root-xyz/Post/", "/srv/gone-root-xyz/Post/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetValue("Mail", "BaseDirectoryRoot", c.recordedRoot);
        SetValue("Mail", "BaseDirectory", c.base);
        EXPECT_EQ(Follow(c.base), c.expected);
        const bool moved = c.expected != c.base;
        EXPECT_EQ(GetValue("Mail", "BaseDirectory"), moved ? c.expected : c.base);
        if (moved) {
            EXPECT_EQ(GetValue("Mail", "BaseDirectoryRoot"), home());
        }
    }
}

}  // namespace
