#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "platform/qt/PrivateTempFolder.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class PrivateTempFolderTest : public QObject {
    Q_OBJECT

private slots:
    // The file handed to other programs (the clipboard, a drag) is written where
    // only this user may write: Linux's runtime folder, Windows' user TEMP.
    void shortLivedFilesStayWithTheUser() {
#ifdef _WIN32
        const QString expected = QDir::fromNativeSeparators(qEnvironmentVariable("TEMP"));
#else
        QTemporaryDir runtime;
        const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString expected = runtime.path();
#endif
        const QString folder = QString::fromStdU16String(PrivateTempFolder().u16string());
#ifndef _WIN32
        qputenv("XDG_RUNTIME_DIR", old);
#endif
        QVERIFY(!expected.isEmpty());
        QCOMPARE(QFileInfo(folder).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
    }
};

KVD_REGISTER_TEST(PrivateTempFolderTest)
#include "PrivateTempFolderTest.moc"
