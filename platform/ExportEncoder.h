#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NewFile.h"
#include "platform/Picture.h"

namespace kvd {

// A sheet of paper, in points (1/72 inch).
struct PaperSize {
    double width = 0, height = 0;
};
inline constexpr PaperSize A4{595, 842}, Letter{612, 792};

// How wide a line of UTF-8 text is drawn, in points, in type of `points` points,
// bold or not.
using TextWidth = std::function<double(std::string_view text, double points, bool bold)>;

// A line of text on a document page, in points from the page's top left corner,
// drawn whole, never cut: the layout makes its box wide enough to hold it.
struct PageText {
    double x = 0, y = 0, width = 0, height = 0;
    double points = 0;
    bool bold = false;
    std::string text;
};

// A picture on a document page, each of its pixels a square of `scale` points.
// Its size is known; the picture itself may be decoded only when it is drawn,
// so that a document of many pictures never holds them all at once.
struct PagePicture {
    double x = 0, y = 0, scale = 1;
    // Its size, and the picture itself unless `decode` gives it.
    Picture picture;
    // Decodes the picture for drawing, or says why it could not.
    std::function<std::optional<Picture>(std::string& whyNot)> decode;
};

struct DocumentPage {
    std::vector<PageText> texts;
    std::vector<PagePicture> pictures;
};

// A document laid out page by page, in points (1/72 inch).
struct Document {
    std::string title;
    double width = 0, height = 0;
    std::vector<DocumentPage> pages;
};

// Encodes pictures and documents as the bytes of the files they are exported to.
class ExportEncoder {
public:
    virtual ~ExportEncoder() = default;
    // A PNG file of the picture enlarged `scale` times: each pixel a block of
    // scale x scale pixels of exactly its colour, its palette kept.
    virtual std::optional<std::string> png(const Picture& picture, int scale,
                                           std::string& whyNot) = 0;
    // A PDF file of the document, written into `file` as it is made: its text as
    // text, its pictures drawn without smoothing, each decoded as it is drawn and
    // let go after. Screenshots and other pictures of few colours are stored
    // without loss; a photograph at about its own size: a JPEG file that came
    // undecoded (Picture::file) as it is, any other as a JPEG of high quality.
    // False, with the reason, when it could not be made.
    virtual bool pdf(const Document& document, ByteSink& file, std::string& whyNot) = 0;
    // How wide `pdf` draws a line of text. An encoder that draws none may keep
    // this bound: every character as wide as the type is high.
    virtual double textWidth(std::string_view text, double points, bool bold) const {
        double characters = 0;
        for (const char byte : text)
            characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
        return characters * points * (bold ? 1.2 : 1);
    }
    // The paper a document is laid out on where the user is.
    virtual PaperSize paper() const { return A4; }
};

// The encoder's measure of text, for laying a document out.
inline TextWidth WidthIn(const ExportEncoder& encoder) {
    return [&encoder](std::string_view text, double points, bool bold) {
        return encoder.textWidth(text, points, bold);
    };
}

} // namespace kvd
