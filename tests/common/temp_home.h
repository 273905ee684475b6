// Temporary folders for tests, and the one temporary runtime root (TESSARO_HOME) every test
// program uses. Folders live directly under /tmp so that socket paths below them stay short.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tessaro::test {

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "tstemp");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made (a test failure has then been recorded).
    const std::string& path() const { return path_; }
    // Writes the bytes to a file in the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// A fresh folder that TESSARO_HOME names while the object lives. The variable's previous value
// comes back afterwards, and the calling thread's registry connections into the folder are closed.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return folder_.path(); }

private:
    TempFolder folder_;
    std::optional<std::string> saved_;
};

}  // namespace tessaro::test

// A fixture with an empty folder of its own (dir_). The folder goes with the fixture object,
// after everything a derived fixture holds, so nothing is left pointing into a removed folder.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::string dir_;

private:
    std::optional<tessaro::test::TempFolder> folder_;
};

// A fresh TESSARO_HOME per test. Like the folder above it lives as long as the fixture object,
// so members of a derived fixture that read settings while they are destroyed still see it.
class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    const std::string& home() const { return home_; }

private:
    std::optional<tessaro::test::TempHome> temp_;
    std::string home_;
};
