#pragma once
// The one QApplication of a test program, made on first use (widgets, fonts and painting need it).
// Never destroyed: windows that tests leave behind must not outlive it.
#include <QApplication>

namespace korvo::testing {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "korvo-test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

} // namespace korvo::testing
