// Test entry for the test programs that need nothing before their tests but
// a fresh folder for each.
#include <gtest/gtest.h>

#include "fresh_folders.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    zqv::run_each_test_in_a_fresh_folder();
    return RUN_ALL_TESTS();
}
