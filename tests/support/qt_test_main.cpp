#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need one application object that outlives every test and is
// destroyed before the process's own exit handlers run.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests never need a display; also when run by hand or listed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
