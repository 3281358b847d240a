#include "tests/support/TestMain.h"

#include <QTest>

namespace kvd::test {

std::vector<TestFactory>& Registry() {
    static std::vector<TestFactory> factories;
    return factories;
}

bool Register(TestFactory factory) {
    Registry().push_back(std::move(factory));
    return true;
}

int RunRegisteredTests(int argc, char** argv) {
    int failures = 0;
    for (const TestFactory& make : Registry()) {
        const std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}

} // namespace kvd::test
