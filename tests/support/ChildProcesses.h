#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace kvd::test {

// A program a test starts ends with the test: QProcess ends it when the test
// function returns, and on Linux the kernel when the test program dies another
// way (QtTest's watchdog aborts, and no destructor runs). Call before start().
inline void EndWithTheTest(QProcess& process) {
#ifdef Q_OS_LINUX
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#else
    (void)process;
#endif
}

// What one of poppler's tools (pdfinfo, pdftotext...) printed; empty when it failed.
inline QString Poppler(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace kvd::test
