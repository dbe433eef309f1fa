// The Qt core application the benches on real links and timers need, made
// once per program.
#pragma once

#include <QCoreApplication>

namespace benchsupport {

inline QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "trekfold_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

} // namespace benchsupport
