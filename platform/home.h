// The runtime root. Everything the system keeps lives below $TESSARO_HOME
// (compiled default TESSARO_DEFAULT_HOME), so each test can run in its own tree:
//   registry.db  machines/  run/  windows/  log/  tmp/  scm/
#pragma once

#include <string>
#include <string_view>

namespace tessaro::platform {

// The root, without a trailing '/'. The root and its standard subfolders are
// created on demand (0770) the first time a given root is seen by this process.
std::string TessaroHome();

// The root as TESSARO_HOME names it, without making anything in it: what a process that
// still has to give up root looks at (folders it made would be root's).
std::string RuntimeRootPath();

// A path below the root: HomePath("run/EVENT") or HomePath("run\\EVENT").
// Backslashes become '/'; the result has no trailing '/'.
std::string HomePath(std::string_view relative);

// The stand-in for the Windows directory ($TESSARO_HOME/windows), no trailing '/'.
std::string WindowsDirectory();

// The temporary folder below the root ($TESSARO_HOME/tmp), shared by the
// programs that hand files to one another.
std::string HomeTempDirectory();

// Creates a directory and its missing parents with mode 0770.
// Returns 0 or a Windows error number.
long EnsureDirectory(const std::string& path);

}  // namespace tessaro::platform
