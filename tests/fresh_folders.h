// Every test runs in an empty folder of its own under the system's temporary
// folder (or the folder ZQV_TEST_TEMP names), removed with everything in it
// when the test ends: no test sees another's files, and no run leaves any
// behind, in the build tree or the sources, so the suites pass run after run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace zqv {

class FreshFolders : public testing::EmptyTestEventListener {
    std::filesystem::path home, folder;

    void OnTestStart(const testing::TestInfo& test) override
    {
        home = std::filesystem::current_path();
        std::string name = std::string("zqv-") + test.test_suite_name() + "." + test.name() + "-" +
                           std::to_string(std::random_device{}());
        for (char& c : name)  // parameterised tests' names hold '/'
            if (c == '/')
                c = '_';
        const char* temp = std::getenv("ZQV_TEST_TEMP");
        folder = (temp ? std::filesystem::path(temp) : std::filesystem::temp_directory_path()) / name;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        std::filesystem::current_path(home);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

// Call after testing::InitGoogleTest.
inline void run_each_test_in_a_fresh_folder()
{
    testing::UnitTest::GetInstance()->listeners().Append(new FreshFolders);
}

}  // namespace zqv
