#include <QApplication>

#include "tests/support/TestMain.h"

int main(int argc, char* argv[]) {
    const kvd::test::TestEnvironment environment(KVD_TEST_WATCHDOG_MS);
    // Qt's own file dialog, which tests can fill in, not the system's (Windows).
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    return kvd::test::RunRegisteredTests(argc, argv);
}
