#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

std::string TheLibraryPath;
std::string TheConverterPath;
std::string TheSamplePath;
std::unique_ptr<PluginLibrary> TheLibrary;

} // namespace

const std::string& LibraryPath()
{
    return TheLibraryPath;
}

const std::string& ConverterProgramPath()
{
    return TheConverterPath;
}

const std::string& SamplePath()
{
    return TheSamplePath;
}

const PluginLibrary& Library()
{
    return *TheLibrary;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--library=", 10) == 0) {
            TheLibraryPath = WindowsPathOf(argv[i] + 10);
        } else if (std::strncmp(argv[i], "--converter=", 12) == 0) {
            TheConverterPath = WindowsPathOf(argv[i] + 12);
        } else if (std::strncmp(argv[i], "--sample=", 9) == 0) {
            TheSamplePath = WindowsPathOf(argv[i] + 9);
        }
    }
    if (TheLibraryPath.empty() || TheConverterPath.empty() || TheSamplePath.empty()) {
        std::fprintf(stderr, "usage: %s --library=PATH --converter=PATH --sample=PATH [gtest options]\n", argv[0]);
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
    // A run in which every test skipped itself tested nothing: CTest lists it as not run
    // (SKIP_RETURN_CODE), by this code and not by the output, so that a failure still fails.
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (result == 0 && run.test_to_run_count() > 0 && run.skipped_test_count() == run.test_to_run_count()) {
        return EveryTestSkipped;
    }
    return result;
}
