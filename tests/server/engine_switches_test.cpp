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
