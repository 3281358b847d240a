#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/NewFile.h"
#include "platform/Picture.h"

namespace kvd {

// A line of text on a document page, in points from the page's top left corner.
// It is kept to its box: what does not fit is cut off there.
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
    // text, its pictures without lossy compression and drawn without smoothing,
    // each decoded as it is drawn and let go after. False, with the reason, when
    // it could not be made.
    virtual bool pdf(const Document& document, ByteSink& file, std::string& whyNot) = 0;
};

} // namespace kvd
