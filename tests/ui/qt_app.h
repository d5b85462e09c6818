#pragma once

#include <QApplication>

namespace pagelume::test {

// One application object for all tests of the executable.
inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "pagelume_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// Inherit first in a fixture that holds widgets, so the application exists
// before they are built.
struct WithQtApp {
    WithQtApp() { qtApp(); }
};

}  // namespace pagelume::test
