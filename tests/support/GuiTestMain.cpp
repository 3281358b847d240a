#include <QApplication>

#include "tests/support/TestMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return kvd::test::RunRegisteredTests(argc, argv);
}
