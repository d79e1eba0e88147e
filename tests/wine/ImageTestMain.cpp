// The image tests alone, for a library this program need not load: the other width's
// library, where this machine runs no 32-bit code.
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

std::string TheLibraryPath;

} // namespace

const std::string& LibraryPath()
{
    return TheLibraryPath;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--library=", 10) == 0) {
            TheLibraryPath = WindowsPathOf(argv[i] + 10);
        }
    }
    if (TheLibraryPath.empty()) {
        std::fprintf(stderr, "usage: %s --library=PATH [gtest options]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
