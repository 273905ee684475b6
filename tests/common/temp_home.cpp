#include "tests/common/temp_home.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/registry_store.h"
#include "tests/common/file_text.h"

namespace tessaro::test {

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
        return;
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
    std::string file = path_ + "/" + name;
    WriteFileText(file, bytes);
    return file;
}

TempHome::TempHome() : folder_("tshome") {
    if (const char* old = std::getenv("TESSARO_HOME")) saved_ = old;
    setenv("TESSARO_HOME", folder_.path().c_str(), 1);
}

TempHome::~TempHome() {
    // The store files are about to go; cached connections to them must not outlive them.
    platform::RegCloseThreadConnections();
    if (saved_)
        setenv("TESSARO_HOME", saved_->c_str(), 1);
    else
        unsetenv("TESSARO_HOME");
}

}  // namespace tessaro::test

void TempFolderTest::SetUp() {
    folder_.emplace();
    dir_ = folder_->path();
    ASSERT_FALSE(dir_.empty());
}

void TempHomeTest::SetUp() {
    temp_.emplace();
    home_ = temp_->path();
    ASSERT_FALSE(home_.empty());
}
