#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/module_loader.h"
#include "platform/program_path.h"

using tessaro::platform::LoadedModule;

TEST(ModuleLoaderTest, MissingLibraryIsNotLoadedAndSaysWhy) {
    for (const std::string file : {"libtessaro-no-such-module.so", "/nonexistent/folder/libx.so"}) {
        std::string error;
        LoadedModule module = LoadedModule::Load(file, LoadedModule::Binding::Now, &error);
        EXPECT_FALSE(module.IsLoaded()) << file;
        EXPECT_NE(error.find(file.substr(file.rfind('/') + 1)), std::string::npos) << error;
        EXPECT_EQ(module.FindSymbol("anything"), nullptr);
    }
}

TEST(ModuleLoaderTest, SystemLibraryGivesItsProceduresOnly) {
    std::string error;
    LoadedModule module = LoadedModule::Load("libc.so.6", LoadedModule::Binding::Lazy, &error);
    ASSERT_TRUE(module.IsLoaded()) << error;
    auto length = reinterpret_cast<std::size_t (*)(const char*)>(module.FindSymbol("strlen"));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(module.FindSymbol("tessaro_no_such_procedure"), nullptr);
}

TEST(ModuleLoaderTest, OwnershipMovesWithTheObject) {
    LoadedModule first = LoadedModule::Load("libc.so.6", LoadedModule::Binding::Lazy);
    ASSERT_TRUE(first.IsLoaded());
    LoadedModule second = std::move(first);
    EXPECT_FALSE(first.IsLoaded());
    EXPECT_TRUE(second.IsLoaded());
    second = LoadedModule();
    EXPECT_FALSE(second.IsLoaded());
}

TEST(ProgramPathTest, NamesTheRunningTestProgram) {
    long error = -1;
    std::string path = tessaro::platform::ProgramPath(&error);
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(::access(path.c_str(), X_OK), 0);
    EXPECT_EQ(tessaro::platform::ProgramDirectory(), path.substr(0, path.rfind('/') + 1));
}

TEST(ModuleLoaderTest, ErrorNumberTellsAMissingFileFromARefusedOne) {
    // A file that is no library, beside the program, found by its bare name and by its path.
    const std::string name = "libtessaro-refused-" + std::to_string(::getpid()) + ".so";
    const std::string path = tessaro::platform::ProgramDirectory() + name;
    {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr) << path;
        std::fputs("not a shared library\n", file);
        std::fclose(file);
    }
    struct Case {
        std::string file;
        long number;
    } cases[] = {{name, 193}, {path, 193}, {"libtessaro-no-such-module.so", 126}, {"/nonexistent/libx.so", 126}};
    for (const Case& c : cases) {
        long number = 0;
        std::string reason;
        LoadedModule module = LoadedModule::Load(c.file, LoadedModule::Binding::Now, &reason, &number);
        EXPECT_FALSE(module.IsLoaded()) << c.file;
        EXPECT_EQ(number, c.number) << c.file << ": " << reason;
        EXPECT_FALSE(reason.empty()) << c.file;
    }
    std::remove(path.c_str());
}
