// The mechanisms under test deliver on the GUI thread's event loop, and the
// machine-conditions notifier watches the screens: the tests run inside a
// QGuiApplication, on the offscreen platform unless told otherwise.

#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
