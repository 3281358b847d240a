#include <QCoreApplication>

#include "tests/support/TestMain.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return kvd::test::RunRegisteredTests(argc, argv);
}
