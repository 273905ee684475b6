#include <gtest/gtest.h>

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
