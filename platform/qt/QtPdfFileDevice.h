#pragma once

#include <QIODevice>
#include <QRectF>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ExportEncoder.h"
#include "platform/PictureBytes.h"

class QPainter;

namespace kvd {

// The file being made, as the device Qt's PDF writer writes to. What Qt writes
// goes on to the file at once, except where a JPEG file is carried as it is: Qt
// takes only pixels, and would store a photograph decoded and compressed anew,
// larger and slower. So a one-pixel stand-in is drawn where the JPEG goes, the
// PDF object Qt writes for it is written as the JPEG under the same number, and
// at the end Qt's table of where each object is is put right for the bytes that
// moved.
class PdfFileDevice final : public QIODevice {
public:
    explicit PdfFileDevice(ByteSink& file);
    bool isSequential() const override { return true; }

    // Draws `jpeg` into `where` as it is. False, with the stand-in written as Qt
    // made it, when its object cannot be told in what Qt wrote: the picture is
    // then to be drawn over it.
    bool carry(QPainter& painter, const QRectF& where, const std::string& jpeg,
               const JpegFrame& frame);
    // Ends the PDF. False, with the reason, when it could not be written (a full
    // disk: the PDF writer does not say) or Qt ended it in a way not known here.
    bool end(QPainter& painter, std::string& whyNot);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    // Holds back what Qt writes from now on, until held() hands it over.
    void hold();
    std::string held();
    void put(std::string_view bytes);
    // Writes `parts` in place of the `was` bytes that Qt wrote from `at` on.
    void putInstead(std::initializer_list<std::string_view> parts, std::size_t at, std::size_t was);
    // Where a byte that Qt wrote at `at` is in the file.
    std::size_t inFile(std::size_t at) const;
    bool putRight(std::string& end) const;

    ByteSink& file_;
    bool failed_ = false, holding_ = false;
    std::size_t fromQt_ = 0; // bytes Qt wrote
    std::string held_;
    std::vector<std::pair<std::size_t, std::ptrdiff_t>> shifts_;
};

} // namespace kvd
