// The directory page's label shortens long paths to their start and their last folders.
#include <gtest/gtest.h>

#include "wizards/wizard_steps.h"

namespace tessaro::wizards {
namespace {

TEST(DirectoryLabel, LongPathsKeepTheirRootAndLastFolders) {
    struct Case {
        const char* path;
        const char* shown;
    };
    for (const Case& c : {
             Case{"/var/www/html", "/var/www/html"},
             Case{"/home/author/sites/staff-app12", "/home/author/sites/staff-app12"},  // 30: as it is
             Case{"/home/someone/projects/tessaro/sites/app", "/.../projects/tessaro/sites/app"},
             Case{"/srv/a-very-long-folder-name-without-any-break", "/...older-name-without-any-break"},
             Case{"relative/folder/for/the/generated/application", "r/.../the/generated/application"},
         })
        EXPECT_EQ(ShortDirectoryLabel(c.path), c.shown) << c.path;
}

}  // namespace
}  // namespace tessaro::wizards
