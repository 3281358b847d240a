#pragma once

#include "platform/DiskWorker.h"

namespace kvd {

// Runs each write on a thread of its own while the calling thread's event loop
// goes on with timers and the serial port's reads, user input held back until
// the write is done. Should the application quit meanwhile, the write is still
// completed before run() returns, so no file is left half written.
class QtDiskWorker final : public DiskWorker {
public:
    void run(const std::function<void()>& write) override;
};

} // namespace kvd
