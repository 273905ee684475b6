// The wizards drawn in windows under a virtual display, for a person to look at captions and
// layout (build/tests/wizard-screens/): the chooser, the first page of each wizard, and every
// page of both wizards walked through against a SQLite data source. Only the files are
// checked: a PNG of the window's size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <filesystem>
#include <sstream>
#include <utility>
#include <vector>

#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"

namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

using tessaro::test::ReadFileText;

// The width and height of a PNG file, or {0, 0} when it is none.
std::pair<int, int> PngSize(const std::string& file) {
    std::string data = ReadFileText(file);
    if (data.size() < 24 || data.compare(1, 3, "PNG") != 0) return {0, 0};
    auto number = [&](std::size_t at) {
        int n = 0;
        for (std::size_t i = at; i < at + 4; ++i) n = n * 256 + static_cast<unsigned char>(data[i]);
        return n;
    };
    return {number(16), number(20)};
}

std::string ScreensDir(const std::string& sub) {
    std::string dir = std::string(TESSARO_BINARY_DIR) + "/tests/wizard-screens" + (sub.empty() ? "" : "/" + sub);
    fs::create_directories(dir);
    return dir;
}

// In a sanitizer build the display libraries trip the strict string checks (a bounded
// strndup in the keyboard library) and keep their caches past exit; the wizards' own code
// is checked by the headless tests, so the drawing child runs without those two checks.
std::string ChildAsanOptions() {
    const char* asan = std::getenv("ASAN_OPTIONS");
    return std::string(asan ? asan : "") + ":detect_leaks=0:strict_string_checks=0";
}

constexpr std::pair<int, int> kPageSize{491, 313}, kChooserSize{453, 239}, kDialogSize{520, 490};

class WizardScreens : public TempHomeTest {};

TEST_F(WizardScreens, ChooserAndFirstPagesAreDrawn) {
    REQUIRE_OR_SKIP(OnPath("xvfb-run"), "xvfb-run is not installed");
    std::string dir = ScreensDir("");
    std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tswizards";
    for (const char* wizard : {"-WIZARD1", "-WIZARD2", ""}) {
        std::string file = dir + "/" + (*wizard ? std::string(wizard + 1) : std::string("CHOOSER")) + ".png";
        fs::remove(file);
        std::string command = "HOME='" + dir + "' ASAN_OPTIONS='" + ChildAsanOptions() + "' xvfb-run -a '" +
                              program + "' --screenshot '" + file + "' " + wizard + " >'" + dir + "/log.txt' 2>&1";
        int status = std::system(command.c_str());
        REQUIRE_OR_SKIP(WEXITSTATUS(status) != 2, "tswizards was built without windows (Qt 5 Widgets missing)");
        EXPECT_EQ(status, 0) << command;
        EXPECT_EQ(PngSize(file), *wizard ? kPageSize : kChooserSize) << file;
    }
}

// Every page of a wizard, walked through by a script that draws each page on its way.
class WizardPageScreens : public tessaro::wizardutils::testing::SQLiteCatalogTest {
protected:
    // The programs and templates copied into a folder of their own: the request file lies
    // beside the programs, so this walk never shares it with another test's run.
    void SetUp() override {
        SQLiteCatalogTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        std::string bin = std::string(TESSARO_BINARY_DIR) + "/bin";
        for (const char* program : {"tswizards", "tsutils"})
            fs::copy_file(bin + "/" + program, programs_.path() + "/" + program);
        fs::copy(bin + "/templates", programs_.path() + "/templates", fs::copy_options::recursive);
    }

    // Runs the script with `screenshot <dir>/NAME.png` for every "screenshot NAME" line and
    // checks that each page was drawn at the page's size (a name with "dialog" in it is the
    // field-properties dialog, drawn at its own).
    void Walk(const std::string& wizard, const std::string& sub, const std::string& script) {
        REQUIRE_OR_SKIP(OnPath("xvfb-run"), "xvfb-run is not installed");
        std::string dir = ScreensDir(sub);
        std::istringstream in(script);
        std::ostringstream expanded;
        std::vector<std::string> pictures;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("screenshot ", 0) == 0) {
                pictures.push_back(dir + "/" + line.substr(11) + ".png");
                fs::remove(pictures.back());
                line = "screenshot " + pictures.back();
            }
            expanded << line << "\n";
        }
        std::string file = folder_.write(sub + ".txt", expanded.str());
        std::string log = folder_.path() + "/" + sub + ".log";
        std::string command = "HOME='" + folder_.path() + "' ASAN_OPTIONS='" + ChildAsanOptions() +
                              "' xvfb-run -a '" + programs_.path() + "/tswizards' --script '" + file + "' " + wizard +
                              " >'" + log + "' 2>&1";
        int status = std::system(command.c_str());
        std::string output = ReadFileText(log);
        REQUIRE_OR_SKIP(output.find("only when built with windows") == std::string::npos,
                        "tswizards was built without windows (Qt 5 Widgets missing)");
        EXPECT_EQ(status, 0) << output;
        for (const std::string& picture : pictures)
            EXPECT_EQ(PngSize(picture), picture.find("dialog") == std::string::npos ? kPageSize : kDialogSize)
                << picture;
    }

    std::string Output() const { return folder_.path() + "/app"; }

    tessaro::test::TempFolder programs_;
    tessaro::test::TempFolder folder_;
};

TEST_F(WizardPageScreens, EveryDataEntryPageIsDrawn) {
    Walk("-WIZARD1", "data-entry",
         "screenshot 1-title\n"
         "press btnNext\n"
         "answer " + Output() + "\n"
         "press btnBrowse\n"
         "screenshot 2-directory\n"
         "press btnNext\n"
         "select lstDatasources wiz_staff\n"
         "set txtUsername author\n"
         "set txtPassword secret\n"
         "screenshot 3-data-source\n"
         "press btnNext\n"
         "select lstTables staff\n"
         "screenshot 4-table\n"
         "press btnNext\n"
         "select lstFields staff.name\n"
         "select+ lstFields staff.dept_id\n"
         "press btnAdd\n"
         "screenshot 5-fields\n"
         "press btnNext\n"
         "properties staff.dept_id\n"
         "prop Caption Department\n"
         "prop Required Yes\n"
         "prop ControlType Drop-Down\n"
         "option 1 Sales|1|Yes\n"
         "option 2 Research|2|No\n"
         "screenshot 6-properties-dialog-drop-down\n"
         "done\n"
         "properties staff.name\n"
         "prop Rule 4\n"
         "prop Min 1\n"
         "prop Max 40\n"
         "screenshot 6-properties-dialog-text-box\n"
         "done\n"
         "screenshot 6-properties\n"
         "press btnNext\n"
         "screenshot 7-look\n"
         "press btnNext\n"
         "check RadioExistingPage\n"
         "set txtNextPage http://localhost/thanks.html\n"
         "set txtToEmailAddress office@example.com\n"
         "screenshot 8-next-page\n"
         "press btnNext\n"
         "expect-page 8\n"
         "screenshot 9-completed\n");
}

TEST_F(WizardPageScreens, EveryDrillDownPageIsDrawn) {
    Walk("-WIZARD2", "drill-down",
         "screenshot 01-welcome\n"
         "press btnNext\n"
         "set txtApplicationName Staff Browser\n"
         "screenshot 02-title\n"
         "press btnNext\n"
         "answer " + Output() + "\n"
         "press btnBrowse\n"
         "screenshot 03-directory\n"
         "press btnNext\n"
         "select lstDatasources wiz_staff\n"
         "screenshot 04-data-source\n"
         "press btnNext\n"
         "select lstFields staff\n"
         "select+ lstFields dept\n"
         "press btnAdd\n"
         "screenshot 05-tables\n"
         "press btnNext\n"
         "expect-page 5\n"
         "screenshot 06-joins\n"
         "press btnNext\n"
         "select comboFields staff.name\n"
         "select comboConditions begins with\n"
         "press btnAdd\n"
         "screenshot 07-search\n"
         "press btnNext\n"
         "screenshot 08-search-properties\n"
         "press btnNext\n"
         "select lstFields staff.name\n"
         "select+ lstFields dept.title\n"
         "press btnAdd\n"
         "screenshot 09-result-columns\n"
         "press btnNext\n"
         "screenshot 10-column-headers\n"
         "press btnNext\n"
         "press btnAddAll\n"
         "screenshot 11-detail-columns\n"
         "press btnNext\n"
         "select comboFields staff.id\n"
         "screenshot 12-identifier\n"
         "press btnNext\n"
         "expect-page 12\n"
         "screenshot 13-completed\n");
}

}  // namespace
