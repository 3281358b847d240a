#pragma once

#include <QObject>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

// Several QtTest classes in one test program: each test file registers its class
// with KVD_REGISTER_TEST, and the program's main runs them all in turn.
namespace kvd::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

bool Register(TestFactory factory);
// Set up before the application object: a watchdog for hanging test functions,
// no debugger on a failure, and a fresh settings folder for the run.
class TestEnvironment {
public:
    explicit TestEnvironment(int functionTimeoutMs);

private:
    QTemporaryDir config_;
};
// Runs the registered classes (or the one named first); the result is the number
// of failed test functions.
int RunRegisteredTests(int argc, char** argv);

} // namespace kvd::test

#define KVD_REGISTER_TEST(Class)                                                                   \
    static const bool kvdRegistered##Class =                                                       \
        ::kvd::test::Register([] { return std::make_unique<Class>(); });

// Skips the running test (or data row) on Windows, saying why.
#ifdef _WIN32
#define KVD_SKIP_ON_WINDOWS(reason) QSKIP(reason)
#else
#define KVD_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif
