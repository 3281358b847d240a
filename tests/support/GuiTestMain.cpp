#include <QApplication>

#include "tests/support/TestMain.h"

int main(int argc, char* argv[]) {
    const kvd::test::TestEnvironment environment(KVD_TEST_WATCHDOG_MS);
    QApplication app(argc, argv);
    return kvd::test::RunRegisteredTests(argc, argv);
}
