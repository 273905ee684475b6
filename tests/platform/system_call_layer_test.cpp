// Only platform/ makes system calls: product code above it must reach them through
// platform's interfaces, so that no other layer includes a POSIX header.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

TEST(SystemCallLayerTest, NoProductSourceAbovePlatformIncludesAPosixHeader) {
    const fs::path root = TESSARO_SOURCE_DIR;
    // Folders that may: the platform layer itself, tests and benchmarks.
    const std::set<std::string> allowed = {"platform", "tests", "bench"};
    // <pthread.h> is not among them: the allocator needs locks that are statically
    // initialised and never allocate, which only the thread library's own type gives.
    const std::regex posixInclude(
        R"(^\s*#\s*include\s*<(unistd|fcntl|dlfcn|poll|signal|syslog|pwd|dirent|sys/[a-z_]+)\.h>)");
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
            if (std::regex_search(line, posixInclude))
                offenders += relative.generic_string() + ":" + std::to_string(number) + ": " + line + "\n";
        }
    }
    EXPECT_EQ(offenders, "");
}
