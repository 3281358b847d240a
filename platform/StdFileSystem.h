#pragma once

#include <filesystem>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/Utf8Path.h"

namespace kvd {

// The file-system query on the standard library.
class StdFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string& path) override {
        std::error_code error;
        return !path.empty() && std::filesystem::is_regular_file(PathFromUtf8(path), error);
    }
};

} // namespace kvd
