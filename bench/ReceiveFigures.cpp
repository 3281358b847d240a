// Figures for the receive path, on the real window (offscreen) and, for the
// latency, the real serial port on a pseudo-terminal. Prints a table; asserts
// nothing. Usage: QT_QPA_PLATFORM=offscreen receive_figures [SCREENSHOTS]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <sys/resource.h>
#include <vector>

#include "platform/qt/QtPictureLoader.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/support/FormRig.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"

namespace {

using namespace kvd;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The main window on its real picture loader and temporary file, with Disable
// Save ticked so that no question stops a screenshot; the port is Port.
template <typename Port> struct Window : test::FormRigOf<QtPictureLoader, Port> {
    Window() {
        QTest::mouseClick(this->form.template findChild<QCheckBox*>("Check2"), Qt::LeftButton);
    }
};

struct Figures {
    double median = 0, low = 0, high = 0;
};

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front(), samples.back()};
}

// One tick, and the event loop's turn that shows what it found, `runs` times.
template <typename Arrive>
Figures TickCost(Window<test::FakeSerialPort>& window, int runs, Arrive arrive) {
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        window.comm.arrive(arrive(i));
        const auto start = Clock::now();
        window.form.OnPollTick();
        QCoreApplication::processEvents();
        samples.push_back(Ms(Clock::now() - start));
    }
    return Summarise(samples);
}

// From the last byte of each screenshot written into the pseudo-terminal at the
// line's pace to the window showing it, with the real timer.
Figures Latency(int screenshots) {
    test::PseudoTerminal cable;
    Window<QtSerialPort> window;
    window.form.Timer1->start();
    auto* selector = window.form.findChild<QComboBox*>("Combo1");
    selector->setEditText(QString::fromStdString(cable.devicePath()));
    QTest::keyClick(selector->lineEdit(), Qt::Key_Return);
    std::vector<double> samples;
    for (int i = 0; i < screenshots; ++i) {
        const std::string frame = test::TwoColourBitmap(std::uint32_t(7000 + i));
        auto sending = std::async(std::launch::async, [&] { return cable.send(frame); });
        while (sending.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const auto lastByte = Clock::now();
        while (window.form.session().currentScreenshot() != frame &&
               Clock::now() - lastByte < std::chrono::seconds(10))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        samples.push_back(Ms(Clock::now() - lastByte));
        // A pause between screenshots, as a person takes between presses.
        const auto pause = Clock::now() + std::chrono::milliseconds(150 + 37 * (i % 7));
        while (Clock::now() < pause)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return Summarise(samples);
}

void Row(const char* what, const Figures& f, const char* unit) {
    std::printf("| %-44s | %8.3f | %8.3f | %8.3f | %s |\n", what, f.median, f.low, f.high, unit);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int screenshots = argc > 1 ? std::atoi(argv[1]) : 20;

    Window<test::FakeSerialPort> window;
    window.comm.present = {1};
    window.comm.setPort(PortAddress::number(1));
    window.comm.open();
    const std::string noise(6000, 'n');
    std::printf("| %-44s | %8s | %8s | %8s | unit |\n", "figure", "median", "min", "max");
    std::printf("|%s|---:|---:|---:|---|\n", std::string(46, '-').c_str());
    Row("tick, nothing waiting", TickCost(window, 2000, [](int) { return std::string(); }), "ms");
    Row("tick, a full 6000-byte read of noise", TickCost(window, 2000, [&](int) { return noise; }),
        "ms");
    Row("tick, a whole screenshot (cut, file, decode)",
        TickCost(window, 500, [](int i) { return test::TwoColourBitmap(std::uint32_t(i)); }), "ms");
    Row("last byte on the line to the picture shown", Latency(screenshots), "ms");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
