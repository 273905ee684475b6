#include "tests/common/ci_require.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace tessaro::test {

bool RunningInCI() {
    const char* value = std::getenv("CI");
    if (value == nullptr) return false;
    std::string text = value;
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "true" || text == "1";
}

}  // namespace tessaro::test
