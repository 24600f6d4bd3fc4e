#include "support/temp_dir.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "package/package.h"

namespace fs = std::filesystem;

void TempDirTest::SetUp()
{
    previous = fs::current_path().string();
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps two runs of the tests at the same time apart.
    std::string name = std::string("quillfen-") + std::to_string(getpid()) + "-" + info->test_suite_name() +
                       "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    fs::path path = fs::temp_directory_path() / name;
    fs::remove_all(path);
    fs::create_directories(path);
    fs::current_path(path);
    dir = path.generic_string();
}

void TempDirTest::closeAllPackages()
{
    while (openPackageCount > 0)
        closePackage(openPackages[0].path);
}

void TempDirTest::TearDown()
{
    closeAllPackages();
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
