#include <QCoreApplication>

#include <gtest/gtest.h>

// A core application, so that code which asks for the executable's folder or
// processes events behaves as in the updater; no display is ever needed.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
