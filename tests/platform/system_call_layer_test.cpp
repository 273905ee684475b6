// Only platform/ makes system calls: product code above it must reach them through
// platform's interfaces, so that no other layer includes a POSIX header or calls the
// POSIX-only time, environment, signal and case-blind string functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// "file:line: text" for every line of product code above the platform that matches.
// Top-level folders in `allowed` (and build trees) are not product code above the platform.
// Files in `allowedFiles` (paths from the source root) are skipped too.
std::string ProductLinesMatching(const std::regex& pattern, const std::set<std::string>& allowed,
                                 const std::set<std::string>& allowedFiles = {}) {
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
        if (allowedFiles.count(relative.generic_string())) continue;
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

// errno named anywhere but in clearing it or comparing it with ERANGE.
constexpr const char* kErrnoRead = R"(\berrno\b(?!\s*=\s*0\s*;|\s*==\s*ERANGE))";

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
        R"(\b(localtime_r|gmtime_r|clock_gettime|getenv|secure_getenv|setenv|unsetenv|strcasecmp|strncasecmp|signal|sigaction)\s*\()");
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

// A failed platform call says why with a Windows error number, so nothing above the platform
// reads errno. What stays is the C library's own report where no platform call is involved:
// a number conversion's overflow (errno cleared, then compared with ERANGE), the allocator,
// which keeps malloc's errno contract, and the lexer, whose message for a file it cannot open
// carries the C run-time's number.
TEST(SystemCallLayerTest, NoProductSourceAbovePlatformReadsErrno) {
    const std::regex errnoRead(kErrnoRead);
    EXPECT_EQ(ProductLinesMatching(errnoRead, {"platform", "tests", "bench", "tools"},
                                   {"foundation/allocator/heap.cpp", "engine/parser/ss_file_input_source.cpp"}),
              "");
}

namespace {

// The names of the rows of the system call table, as one alternation.
std::string TableRowNames() {
    std::ifstream in(fs::path(TESSARO_SOURCE_DIR) / "platform" / "system_calls.h");
    const std::string header((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex row(R"re(TESSARO_SYSTEM_CALL\((\w+)\)|\{"(\w+)", &system_call_detail::)re");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), row); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
    names.erase("name");  // the macro's own parameter
    std::string alternation;
    for (const std::string& name : names) alternation += (alternation.empty() ? "" : "|") + name;
    return alternation;
}

// A call of one of names made straight to the C library, not through the table.
std::regex DirectCall(const std::string& names) {
    return std::regex("(^|[^\\w.>:\"])(::)?(" + names + ")\\s*\\(");
}

}  // namespace

// Every call the table has a row for goes through the row, so a test that swaps it sees
// each use. The table itself and the service starter, which stands alone, call directly.
TEST(SystemCallLayerTest, ThePlatformMakesTheTablesCallsThroughTheTable) {
    const std::string names = TableRowNames();
    ASSERT_NE(names.find("getrandom"), std::string::npos) << names;
    ASSERT_NE(names.find("open"), std::string::npos) << names;
    const std::regex direct = DirectCall(names);
    std::string offenders;
    for (const auto& entry : fs::directory_iterator(fs::path(TESSARO_SOURCE_DIR) / "platform")) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() != ".cpp" || file == "system_calls.cpp" || file == "service_starter.cpp") continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const std::string code = line.substr(0, line.find("//"));
            if (std::regex_search(code, direct)) offenders += file + ":" + std::to_string(number) + ": " + line + "\n";
        }
    }
    EXPECT_EQ(offenders, "");
    EXPECT_TRUE(std::regex_search("    if (::dlopen(path, RTLD_NOW)) {", direct));
    EXPECT_TRUE(std::regex_search("    close(fd);", direct));
    EXPECT_TRUE(std::regex_search("    int fd = ::open(path, O_RDONLY);", direct));
    EXPECT_FALSE(std::regex_search("    SystemCalls().close(fd);", direct));
    EXPECT_FALSE(std::regex_search("    file->close(); stream.open(path);", direct));
    EXPECT_FALSE(std::regex_search("    SystemCall<decltype(::open)> row{\"open(\"};", direct));
}

// The rules above find what they refuse: each pattern against a line that breaks it.
TEST(SystemCallLayerTest, TheErrnoAndEnvironmentRulesFindTheirBreaks) {
    const std::regex errnoRead(kErrnoRead);
    EXPECT_TRUE(std::regex_search("    int e = errno;", errnoRead));
    EXPECT_TRUE(std::regex_search("if (errno == ENOENT) return;", errnoRead));
    EXPECT_FALSE(std::regex_search("    errno = 0;", errnoRead));
    EXPECT_FALSE(std::regex_search("if (errno == ERANGE) return 0;", errnoRead));
    EXPECT_FALSE(std::regex_search("#include <cerrno>", errnoRead));
    const std::regex environment(R"(\b(getenv|secure_getenv)\s*\()");
    EXPECT_TRUE(std::regex_search("const char* v = std::getenv(\"HOME\");", environment));
    EXPECT_FALSE(std::regex_search("EnvironmentValue(\"HOME\")", environment));
}
