// Only platform/ makes system calls: product code above it must reach them through
// platform's interfaces, so that no other layer includes a POSIX header or calls the
// POSIX-only time, environment, signal and case-blind string functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// "file:line: text" for every line of product code above the platform that matches.
// Top-level folders in `allowed` (and build trees) are not product code above the platform.
std::string ProductLinesMatching(const std::regex& pattern, const std::set<std::string>& allowed) {
    const fs::path root = TESSARO_SOURCE_DIR;
    std::string offenders;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path relative = fs::relative(it->path(), root);
        const std::string top = relative.begin()->string();
        if (it->is_directory() && it.depth() == 0 &&
            (allowed.count(top) || top.rfind("build", 0) == 0 || top.front() == '.')) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string ext = it->path().extension().string();
        if (!it->is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c")) continue;
        std::ifstream in(it->path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            // What a line comment says is no call.
            const std::string code = line.substr(0, line.find("//"));
            if (std::regex_search(code, pattern))
                offenders += relative.generic_string() + ":" + std::to_string(number) + ": " + line + "\n";
        }
    }
    return offenders;
}

}  // namespace

TEST(SystemCallLayerTest, NoProductSourceAbovePlatformIncludesAPosixHeader) {
    // <pthread.h> is not among them: the allocator needs locks that are statically
    // initialised and never allocate, which only the thread library's own type gives.
    const std::regex posixInclude(
        R"(^\s*#\s*include\s*<(unistd|fcntl|dlfcn|poll|signal|syslog|pwd|dirent|strings|sys/[a-z_]+)\.h>)"
        R"(|^\s*#\s*include\s*<csignal>)");
    EXPECT_EQ(ProductLinesMatching(posixInclude, {"platform", "tests", "bench"}), "");
}

// Local time, the clocks, the environment, signals and case-blind comparison each have one
// home in platform/ (clock.h, process_environment.h, path_util.h).
TEST(SystemCallLayerTest, NoProductSourceAbovePlatformCallsTheSystemDirectly) {
    const std::regex systemCall(
        R"(\b(localtime_r|gmtime_r|clock_gettime|setenv|unsetenv|strcasecmp|strncasecmp|signal|sigaction)\s*\()");
    // Build-time tools run on the developer's machine only.
    EXPECT_EQ(ProductLinesMatching(systemCall, {"platform", "tests", "bench", "tools"}), "");
}

// The driver manager has one door: the ODBC class library and what stands on it in database/
// (and the report server's print engine, which reads its reports' data sources itself).
// Everything else, the template layer included, goes through the class library.
TEST(SystemCallLayerTest, OnlyTheDatabaseLayerCallsTheDriverManager) {
    const std::regex odbcCall(R"(\bSQL[A-Z][A-Za-z]+\s*\()");
    EXPECT_EQ(ProductLinesMatching(odbcCall, {"database", "printengine", "tests", "bench", "tools"}), "");
}
