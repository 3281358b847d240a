// Size and time of a PDF report against img2pdf, which puts each picture file on
// a page of its own (a JPEG as it is): photos (3000 x 2000, photo-like: smooth colours
// with grain, JPEG at quality 90) and screenshots (the instrument's bitmaps),
// each set made once and given to both in the same run. Prints, for each, the
// files' size, the PDF's size and how many times the files' that is, and the
// time (wall clock, and the CPU the program used); asserts nothing, but exits 1
// when kvd62-capture fails.
//
// Usage: report_size_bench PROGRAM [PHOTOS [SCREENSHOTS]]   (5 and 30 by default;
//        the figures in the README are of 50 and 300)
#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench/MeasuredRun.h"
#include "tests/support/EncodedPicture.h"
#include "tests/support/TestBitmap.h"

namespace fs = std::filesystem;

namespace {

using Run = kvd::bench::MeasuredRun;

std::uintmax_t Sizes(const std::vector<std::string>& files) {
    std::uintmax_t total = 0;
    for (const std::string& file : files)
        total += fs::file_size(file);
    return total;
}

// One line: the program, the PDF's size against the files', the time.
bool Report(const char* who, const Run& run, const fs::path& out, std::uintmax_t files) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(out, error);
    const bool ran = WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0 && !error;
    if (!ran) {
        std::printf("  %-14s failed (exit %d)\n", who,
                    WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1);
        return false;
    }
    std::printf("  %-14s %9.2f MB  %5.2fx the files  %6.2f s  (CPU %6.2f s)\n", who,
                double(size) / 1e6, double(size) / double(files), run.seconds, run.cpuSeconds);
    fs::remove(out);
    return true;
}

// Both programs on the same files; false when kvd62-capture failed.
bool Compare(const std::string& program, const std::string& what,
             const std::vector<std::string>& files, const fs::path& folder) {
    std::printf("%s: %.2f MB of files\n", what.c_str(), double(Sizes(files)) / 1e6);
    const fs::path out = folder / "report.pdf";
    std::vector<std::string> ours{program, "--export", out.string()};
    ours.insert(ours.end(), files.begin(), files.end());
    const bool made = Report("kvd62-capture", kvd::bench::RunMeasured(ours), out, Sizes(files));
    std::vector<std::string> theirs{"img2pdf", "-o", out.string()};
    theirs.insert(theirs.end(), files.begin(), files.end());
    const Run img2pdf = kvd::bench::RunMeasured(theirs, true);
    if (WIFEXITED(img2pdf.status) && WEXITSTATUS(img2pdf.status) == 127)
        std::printf("  img2pdf        not installed (Debian's package img2pdf)\n");
    else
        Report("img2pdf", img2pdf, out, Sizes(files));
    return made;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: report_size_bench PROGRAM [PHOTOS [SCREENSHOTS]]\n");
        return 2;
    }
    const int photos = argc > 2 ? std::atoi(argv[2]) : 5;
    const int screenshots = argc > 3 ? std::atoi(argv[3]) : 30;
    QCoreApplication app(argc, argv);
    std::string made = (fs::temp_directory_path() / "kvd62-report-XXXXXX").string();
    if (::mkdtemp(made.data()) == nullptr)
        return 1;
    const fs::path folder = made;

    std::vector<std::string> photoFiles;
    for (int i = 0; i < photos; ++i) {
        const fs::path file = folder / ("photo-" + std::to_string(i) + ".jpg");
        kvd::test::PhotoLike(3000, 2000, i).save(QString::fromStdString(file.string()), "JPEG", 90);
        photoFiles.push_back(file.string());
    }
    std::vector<std::string> shotFiles;
    for (int i = 0; i < screenshots; ++i) {
        char name[48]; // as the save folder names them, a second apart
        std::snprintf(name, sizeof name, "kvd62-20261209-10%02d%02d-001.bmp", i / 60 % 60, i % 60);
        const fs::path file = folder / name;
        std::ofstream(file, std::ios::binary) << kvd::test::TwoColourBitmap(std::uint32_t(i + 1));
        shotFiles.push_back(file.string());
    }

    bool written = true;
    if (photos > 0)
        written &= Compare(argv[1], std::to_string(photos) + " photos 3000 x 2000, JPEG at 90",
                           photoFiles, folder);
    if (screenshots > 0)
        written &=
            Compare(argv[1], std::to_string(screenshots) + " screenshots 192 x 112 (bitmaps)",
                    shotFiles, folder);
    fs::remove_all(folder);
    return written ? 0 : 1;
}
