#pragma once

#include <QByteArray>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace kvd::test {

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names of the entries in a folder; none when it cannot be read.
inline std::set<std::string> FilesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

// Removes a folder and its contents at scope end, by its name's bytes:
// QTemporaryDir cannot remove what Qt cannot name (a Latin-1 name on Linux).
struct RemovedAtEnd {
    std::filesystem::path folder;
    ~RemovedAtEnd() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

inline void WriteRaw(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Raw bytes as a QByteArray, NULs included, for test tables.
inline QByteArray AsBytes(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace kvd::test
