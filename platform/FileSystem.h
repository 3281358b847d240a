#pragma once

#include <string>

namespace kvd {

// Asks the file system about files.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True when the path names an existing file (not a folder).
    virtual bool fileExists(const std::string& path) = 0;
};

} // namespace kvd
