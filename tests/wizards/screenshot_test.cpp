// The first page of each wizard drawn in windows under a virtual display, for a person to
// look at captions and layout (build/tests/wizard-screens/*.png); only the files are checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>

#include "tests/support/ci_require.h"
#include "tests/support/temp_home.h"

namespace {

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

class WizardScreens : public TempHomeTest {};

TEST_F(WizardScreens, FirstPagesAreDrawn) {
    REQUIRE_OR_SKIP(OnPath("xvfb-run"), "xvfb-run is not installed");
    std::string dir = std::string(TESSARO_BINARY_DIR) + "/tests/wizard-screens";
    std::filesystem::create_directories(dir);
    std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tswizards";
    // In a sanitizer build the display libraries trip the strict string checks (a bounded
    // strndup in the keyboard library) and keep their caches past exit; the wizards' own code
    // is checked by the headless tests, so the drawing child runs without those two checks.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string childOptions = std::string(asan ? asan : "") + ":detect_leaks=0:strict_string_checks=0";
    for (const char* wizard : {"-WIZARD1", "-WIZARD2", ""}) {
        std::string file = dir + "/" + (*wizard ? std::string(wizard + 1) : std::string("CHOOSER")) + ".png";
        std::filesystem::remove(file);
        std::string command = "HOME='" + dir + "' ASAN_OPTIONS='" + childOptions + "' xvfb-run -a '" + program +
                              "' --screenshot '" + file + "' " + wizard + " >'" + dir + "/log.txt' 2>&1";
        int status = std::system(command.c_str());
        REQUIRE_OR_SKIP(WEXITSTATUS(status) != 2, "tswizards was built without windows (Qt 5 Widgets missing)");
        EXPECT_EQ(status, 0) << command;
        std::ifstream in(file, std::ios::binary);
        char signature[8] = {};
        in.read(signature, 8);
        EXPECT_EQ(std::string(signature + 1, 3), "PNG") << file;
    }
}

}  // namespace
