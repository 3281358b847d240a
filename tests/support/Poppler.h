#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kvd::test {

// Runs one of poppler's command-line tools (pdfinfo, pdffonts, pdfimages,
// pdftotext) and returns what it printed; empty when it failed.
inline QString Poppler(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace kvd::test
