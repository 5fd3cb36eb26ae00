#include <gtest/gtest.h>

// The core's tests need no toolkit: the same main runs them on every platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
