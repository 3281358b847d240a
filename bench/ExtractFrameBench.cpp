// Figures for the receive path: how long finding a screenshot takes on the
// buffers a tick can meet, from a short arrival to a buffer at its bound.
#include <benchmark/benchmark.h>

#include "capture/CaptureSession.h"
#include "capture/ExtractFrame.h"
#include "capture/ReceiveBuffer.h"
#include "tests/support/FakeServices.h"

namespace {

std::string NoiseThenFrame(std::size_t noise) {
    return std::string(noise, 'x') + "BM" + std::string(kvd::ScreenshotSize - 2, '\x55');
}

void ExtractAfterNoise(benchmark::State& state) {
    const std::string buffer = NoiseThenFrame(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(kvd::ExtractFrame(buffer));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}
BENCHMARK(ExtractAfterNoise)->Arg(0)->Arg(3000)->Arg(int(kvd::MaxMarkerPosition));

// A tick on a line that carries only noise: drain, bound, look for a marker.
void NoiseTick(benchmark::State& state) {
    kvd::test::FakeServices fakes;
    kvd::test::FakeSerialPort& comm = fakes.comm;
    comm.present = {1};
    kvd::CaptureSession session(comm, fakes.pictures, fakes.hold);
    session.choosePort("1", kvd::PortChoice::Picked);
    const std::string read(2880, 'n');
    for (auto _ : state) {
        comm.arrive(read);
        benchmark::DoNotOptimize(session.tick().cut);
    }
}
BENCHMARK(NoiseTick);

} // namespace

BENCHMARK_MAIN();
