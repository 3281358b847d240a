#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include "platform/posix/OwnFolderInTmp.h"
#endif

#include "platform/qt/PrivateTempFolder.h"
#include "tests/support/TestMain.h"

using namespace kvd;
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
// Sets an environment variable, or unsets it for a null value, until destroyed.
struct Environment {
    Environment(const char* name, const QByteArray& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~Environment() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    const char* name_;
    QByteArray old_;
    bool had_;
};
#endif

} // namespace

class PrivateTempFolderTest : public QObject {
    Q_OBJECT

private slots:
    // Short-lived files (the clipboard's, a drag's, each screenshot's) go where
    // only this user may write: the runtime folder, else (no XDG_RUNTIME_DIR,
    // /tmp/runtime-USER taken) a folder of our own in /tmp; else none.
    void shortLivedFilesStayWithTheUser_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("the runtime folder") << "runtime";
        QTest::newRow("no runtime folder: one of our own in /tmp") << "own";
        QTest::newRow("no runtime folder, our own name taken by a link") << "link";
        QTest::newRow("no runtime folder, our own name taken open to all") << "open";
        QTest::newRow("no runtime folder, our own name taken by another user") << "theirs";
    }

    void shortLivedFilesStayWithTheUser() {
        QFETCH(QString, how);
#ifdef _WIN32
        if (how != "runtime")
            QSKIP("the user's TEMP on Windows is the user's own");
        const QString expected = QDir::fromNativeSeparators(qEnvironmentVariable("TEMP"));
        const QString folder = QString::fromStdU16String(PrivateTempFolder().u16string());
        QVERIFY(!expected.isEmpty());
        QCOMPARE(QFileInfo(folder).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
#else
        QTemporaryDir runtime;
        QTemporaryDir shared; // stands in for /tmp
        const fs::path sharedPath = shared.path().toStdString();
        const std::string own = "kvd62-capture-" + std::to_string(geteuid());
        // Qt's fallback runtime folder under our name, taken (a file), and maybe
        // our own name: a link, a folder open to all, or another user's.
        std::ofstream(sharedPath / (std::string("runtime-") + getpwuid(geteuid())->pw_name));
        if (how == "link")
            fs::create_symlink(sharedPath / "elsewhere", sharedPath / own);
        if (how == "open" || how == "theirs") {
            if (how == "theirs" && geteuid() != 0)
                QSKIP("only the superuser can make a folder another user owns");
            fs::create_directory(sharedPath / own);
            if (how == "theirs")
                QCOMPARE(::chown((sharedPath / own).c_str(), 65534, 65534), 0);
            fs::permissions(sharedPath / own,
                            how == "open" ? fs::perms::all : fs::perms::owner_all);
        }
        const Environment tmp("TMPDIR", QFile::encodeName(shared.path()));
        const Environment xdg("XDG_RUNTIME_DIR",
                              how == "runtime" ? QFile::encodeName(runtime.path()) : QByteArray());
        const fs::path folder = PrivateTempFolder();

        if (how == "runtime") {
            QCOMPARE(fs::canonical(folder), fs::canonical(runtime.path().toStdString()));
        } else if (how == "own") {
            QCOMPARE(folder, sharedPath / own);
            QCOMPARE(fs::symlink_status(folder).type(), fs::file_type::directory);
            QCOMPARE(fs::symlink_status(folder).permissions(), fs::perms::owner_all);
            QCOMPARE(OwnFolderIn(sharedPath, own), std::optional(folder)); // again, the same
        } else {
            QVERIFY2(folder.empty(), folder.c_str());
        }
#endif
    }
};

KVD_REGISTER_TEST(PrivateTempFolderTest)
#include "PrivateTempFolderTest.moc"
