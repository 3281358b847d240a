#pragma once

#include <functional>

namespace kvd {

// Runs a write that may wait on the disk (a flush to a slow USB stick or a
// network share can take seconds) and returns once it is done. The Qt
// implementation runs it on a worker thread and keeps the event loop turning
// meanwhile, so the serial port goes on being read and a slow disk costs no byte
// on the line; the user's clicks and keys wait until the write is done.
class DiskWorker {
public:
    virtual ~DiskWorker() = default;
    virtual void run(const std::function<void()>& write) = 0;
};

} // namespace kvd
