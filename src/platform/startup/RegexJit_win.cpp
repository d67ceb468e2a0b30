#include <QByteArray>

// Compiled into each program itself, so that it runs before main and before
// any text is matched. Qt's JIT matcher keeps a stack per thread in a
// thread_local whose destructor, under this compiler's emulated thread
// storage, runs after that storage is freed: a thread that matched text
// faults as it ends, and may leave a runtime lock held that the program's
// own end then waits on for ever. The interpreter needs no such stack, and
// the texts matched here are a line long.
namespace {
const bool interpreted = qputenv("QT_ENABLE_REGEXP_JIT", QByteArrayLiteral("0"));
} // namespace
