#pragma once

#include <functional>

#include "platform/DiskWorker.h"

namespace kvd {

// Runs the write where it is called: for code without an event loop to keep
// turning, and for tests.
class DiskWorkerInPlace final : public DiskWorker {
public:
    void run(const std::function<void()>& write) override { write(); }
};

} // namespace kvd
