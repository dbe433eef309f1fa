// The QApplication a widget test needs, made once per test program.
#pragma once

#include <QApplication>

namespace test_support {

inline void ensure_qapplication()
{
    static int argc = 1;
    static char name[] = "trekfold_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

} // namespace test_support
