#include <QCoreApplication>

#include <gtest/gtest.h>

// QtDBus wants an application object for its connections' thread.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
