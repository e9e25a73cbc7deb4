#pragma once
// One QApplication for the whole test executable, created on first use
// (tests run offscreen).
#include <QApplication>
#include <QString>
#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kuv::testing {

inline QApplication* EnsureApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
}

}  // namespace kuv::testing
