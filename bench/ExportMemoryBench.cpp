// Peak memory of `kvd62-capture --export` as the number of pictures grows: 10,
// 100 and 1000 screenshots into one PDF, and 5 and 50 large photos (3000 x 2000
// JPEGs). Runs the program as a user does and prints its peak resident memory,
// time and output size for each; asserts nothing.
//
// Usage: export_memory_bench PROGRAM
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench/MeasuredRun.h"
#include "tests/support/TestBitmap.h"

namespace fs = std::filesystem;

namespace {

using Run = kvd::bench::MeasuredRun;

Run Export(const std::string& program, const fs::path& out, const std::vector<std::string>& files) {
    std::vector<std::string> words{program, "--export", out.string()};
    words.insert(words.end(), files.begin(), files.end());
    return kvd::bench::RunMeasured(words);
}

std::vector<std::string> Screenshots(const fs::path& folder, int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const fs::path file = folder / ("kvd62-20261209-1000" + std::to_string(10 + i / 100) + "-" +
                                        std::to_string(100 + i % 100) + ".bmp");
        std::ofstream(file, std::ios::binary) << kvd::test::TwoColourBitmap(std::uint32_t(i + 1));
        files.push_back(file.string());
    }
    return files;
}

std::vector<std::string> Photos(const fs::path& folder, int count) {
    std::vector<std::string> files;
    QImage photo(3000, 2000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int i = 0; i < count; ++i) {
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); x += 8)
                photo.setPixel(x, y, random.generate());
        const fs::path file = folder / ("photo-" + std::to_string(i) + ".jpg");
        photo.save(QString::fromStdString(file.string()), "JPEG", 80);
        files.push_back(file.string());
    }
    return files;
}

void Print(const char* what, const Run& run, const fs::path& out) {
    std::error_code error;
    std::printf("%-22s peak %7.1f MB  %6.2f s  %8.1f KB  exit %d\n", what, run.peakKb / 1024.0,
                run.seconds, double(fs::file_size(out, error)) / 1024.0,
                WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: export_memory_bench PROGRAM\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::string folder = (fs::temp_directory_path() / "kvd62-export-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        return 1;
    const fs::path out = fs::path(folder) / "out.pdf";
    const std::vector<std::string> shots = Screenshots(folder, 1000);
    for (int count : {10, 100, 1000}) {
        const std::vector<std::string> some(shots.begin(), shots.begin() + count);
        Print((std::to_string(count) + " screenshots").c_str(), Export(argv[1], out, some), out);
    }
    const std::vector<std::string> photos = Photos(folder, 50);
    for (int count : {5, 50}) {
        const std::vector<std::string> some(photos.begin(), photos.begin() + count);
        Print((std::to_string(count) + " photos 3000 x 2000").c_str(), Export(argv[1], out, some),
              out);
    }
    fs::remove_all(folder);
    return 0;
}
