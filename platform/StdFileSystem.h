#pragma once

#include <filesystem>
#include <system_error>

#include "platform/FileDialog.h"

namespace kvd {

// The file-system query on the standard library.
class StdFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string& path) override {
        std::error_code error;
        return !path.empty() && std::filesystem::is_regular_file(path, error);
    }
};

} // namespace kvd
