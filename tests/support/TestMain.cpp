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

// With a class name first ("tst_windows PollTickTest aLostPortComesBackByItself")
// only that class runs, given the arguments after the name; otherwise every
// class runs with all the arguments.
int RunRegisteredTests(int argc, char** argv) {
    const QByteArray chosen = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    int failures = 0;
    bool ranChosen = false;
    for (const TestFactory& make : Registry()) {
        const std::unique_ptr<QObject> test = make();
        if (chosen == test->metaObject()->className()) {
            std::vector<char*> rest{argv[0]};
            rest.insert(rest.end(), argv + 2, argv + argc);
            ranChosen = true;
            failures += QTest::qExec(test.get(), int(rest.size()), rest.data());
        }
    }
    if (ranChosen)
        return failures;
    for (const TestFactory& make : Registry()) {
        const std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}

} // namespace kvd::test
