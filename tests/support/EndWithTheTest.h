#pragma once

#include <QProcess>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace kvd::test {

// A program a test starts ends with the test, pass or fail: QProcess ends it when
// the test function returns, and on Linux the kernel ends it should the test
// program itself end another way (QtTest's watchdog aborts a test that hangs,
// and no destructor runs then). Call before start().
inline void EndWithTheTest(QProcess& process) {
#ifdef Q_OS_LINUX
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#else
    (void)process;
#endif
}

} // namespace kvd::test
