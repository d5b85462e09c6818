#pragma once

#include <QApplication>

namespace pagelume::test {

// The application object made by the widget tests' main().
inline QApplication& qtApp() { return *static_cast<QApplication*>(QCoreApplication::instance()); }

// Inherit first in a fixture that holds widgets (kept for readability: the
// application exists before any test starts).
struct WithQtApp {
    WithQtApp() { qtApp(); }
};

}  // namespace pagelume::test
