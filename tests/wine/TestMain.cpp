#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

std::string TheLibraryPath;
std::unique_ptr<PluginLibrary> TheLibrary;

} // namespace

const std::string& LibraryPath()
{
    return TheLibraryPath;
}

const PluginLibrary& Library()
{
    return *TheLibrary;
}

std::string WindowsPathOf(const std::string& path)
{
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        c = c == '/' ? '\\' : c;
    }
    return windows;
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
    std::string error;
    TheLibrary = PluginLibrary::Load(TheLibraryPath, error);
    if (!TheLibrary) {
        std::fprintf(stderr, "cannot use %s: %s\n", TheLibraryPath.c_str(), error.c_str());
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    TheLibrary.reset();
    return result;
}
