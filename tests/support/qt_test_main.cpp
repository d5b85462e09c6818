#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need one application object that outlives every test and is
// destroyed before the process's own exit handlers run.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
