#pragma once

#include <QByteArray>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kvd::test {

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteRaw(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Raw bytes as a QByteArray, NULs included, for test tables.
inline QByteArray AsBytes(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace kvd::test
