#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/server/engine_switches.h"

TEST(EngineSwitchesTest, EachArgumentIsComparedWholeInAnyCase) {
    struct Case {
        std::vector<std::string> arguments;
        bool install, remove, desktop, help = false;
    } cases[] = {
        {{}, false, false, false},
        {{"-install"}, true, false, false},
        {{"-INSTALL"}, true, false, false},
        {{"-Remove"}, false, true, false},
        {{"-install", "-remove"}, true, true, false},
        {{"-DeBuG"}, false, false, true},
        {{"-desktop"}, false, false, true},
        {{"-DESKTOP", "extra"}, false, false, true},
        // Words that merely contain a switch are not that switch.
        {{"-installed"}, false, false, false},
        {{"x-remove"}, false, false, false},
        {{"-debugger"}, false, false, false},
        {{"-install -remove"}, false, false, false},
        {{"install", "remove", "desktop"}, false, false, false},
        {{"/opt/my-debug-build"}, false, false, false},
        {{"--help"}, false, false, false, true},
        {{"-H"}, false, false, false, true},
        {{"-?"}, false, false, false, true},
        {{"/?"}, false, false, false, true},
        {{"-install", "--HELP"}, true, false, false, true},
        {{"--helpme"}, false, false, false, false},
    };
    for (const Case& c : cases) {
        EngineSwitches s = ParseEngineSwitches(c.arguments);
        std::string label;
        for (const std::string& a : c.arguments) label += a + " ";
        EXPECT_EQ(s.install, c.install) << label;
        EXPECT_EQ(s.remove, c.remove) << label;
        EXPECT_EQ(s.desktop, c.desktop) << label;
        EXPECT_EQ(s.help, c.help) << label;
    }
}

// -ACCOUNT and -WEBGROUP take the next argument as it stands (its case is the account's); a
// value is never read as a switch, and one missing at the end is no value.
TEST(EngineSwitchesTest, AccountAndWebGroupTakeTheNextArgumentAsItStands) {
    struct Case {
        std::vector<std::string> arguments;
        bool install;
        std::string account, webGroup;
    } const cases[] = {
        {{"-INSTALL", "-ACCOUNT", "SvcUser", "-webgroup", "Web-Data"}, true, "SvcUser", "Web-Data"},
        {{"-account", "-install"}, false, "-install", ""},
        {{"-install", "-ACCOUNT"}, true, "", ""},
        {{"-WEBGROUP", "nginx", "-INSTALL"}, true, "", "nginx"},
    };
    for (const Case& c : cases) {
        EngineSwitches s = ParseEngineSwitches(c.arguments);
        std::string label;
        for (const std::string& a : c.arguments) label += a + " ";
        EXPECT_EQ(s.install, c.install) << label;
        EXPECT_EQ(s.account, c.account) << label;
        EXPECT_EQ(s.webGroup, c.webGroup) << label;
    }
}
