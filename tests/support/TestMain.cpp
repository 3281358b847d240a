#include "tests/support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>

namespace kvd::test {

namespace {

// QtTest's crash handler, installed by a second qExec in the same process,
// chains to the first one's handler, which is itself: on a fatal signal it
// then prints "Received signal" for ever (seen with Qt 6.4). So only the first
// class of a run gets one; it stays installed and serves the later classes.
constexpr char NoCrashHandler[] = "-nocrashhandler";

#ifdef _WIN32
// On Windows QtTest's log to standard output never reaches it under Wine (seen
// with Qt 6.4 and Wine 8): the log goes to a file, copied to standard output.
int RunLogged(QObject* test, std::vector<char*>& arguments) {
    const bool logGiven = std::any_of(arguments.begin(), arguments.end(),
                                      [](const char* a) { return qstrcmp(a, "-o") == 0; });
    if (logGiven)
        return QTest::qExec(test, int(arguments.size()), arguments.data());
    QTemporaryDir folder;
    QByteArray log = QFile::encodeName(folder.filePath("log.txt")) + ",txt";
    char logOption[] = "-o";
    arguments.push_back(logOption);
    arguments.push_back(log.data());
    const int failures = QTest::qExec(test, int(arguments.size()), arguments.data());
    QFile written(folder.filePath("log.txt"));
    if (written.open(QIODevice::ReadOnly)) {
        const QByteArray text = written.readAll();
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
        std::fflush(stdout);
    }
    return failures;
}
#else
int RunLogged(QObject* test, std::vector<char*>& arguments) {
    return QTest::qExec(test, int(arguments.size()), arguments.data());
}
#endif

int Run(QObject* test, std::vector<char*> arguments, bool firstOfRun) {
    if (!firstOfRun)
        arguments.push_back(const_cast<char*>(NoCrashHandler));
    return RunLogged(test, arguments);
}

void SetDefault(const char* name, const QByteArray& value) {
    if (!qEnvironmentVariableIsSet(name))
        qputenv(name, value);
}

std::vector<TestFactory>& Registry() {
    static std::vector<TestFactory> factories;
    return factories;
}

} // namespace

bool Register(TestFactory factory) {
    Registry().push_back(std::move(factory));
    return true;
}

TestEnvironment::TestEnvironment(int functionTimeoutMs) {
    // A test function that hangs is stopped after this long, with its name.
    SetDefault("QTEST_FUNCTION_TIMEOUT", QByteArray::number(functionTimeoutMs));
    // The crash handler would attach gdb for a stack trace; under CTest that
    // never finishes and leaves the test stopped. A failing test ends at once.
    SetDefault("QTEST_DISABLE_STACK_DUMP", "1");
    SetDefault("QTEST_DISABLE_CORE_DUMP", "1");
    // Qt keeps per-user settings (the file dialog's last folder and history):
    // every run starts from none and leaves the user's own untouched.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

// With a class name first ("tst_windows PollTickTest aLostPortComesBackByItself")
// only that class runs, given the arguments after the name; otherwise every
// class runs with all the arguments.
int RunRegisteredTests(int argc, char** argv) {
    const QByteArray chosen = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    int failures = 0;
    bool ran = false;
    for (const TestFactory& make : Registry()) {
        const std::unique_ptr<QObject> test = make();
        if (chosen == test->metaObject()->className()) {
            std::vector<char*> rest{argv[0]};
            rest.insert(rest.end(), argv + 2, argv + argc);
            failures += Run(test.get(), rest, !ran);
            ran = true;
        }
    }
    if (ran)
        return failures;
    for (const TestFactory& make : Registry()) {
        const std::unique_ptr<QObject> test = make();
        failures += Run(test.get(), std::vector<char*>(argv, argv + argc), !ran);
        ran = true;
    }
    return failures;
}

} // namespace kvd::test
