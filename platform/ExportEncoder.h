#pragma once

#include <optional>
#include <string>
#include <vector>

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
struct PagePicture {
    double x = 0, y = 0, scale = 1;
    Picture picture;
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
    // A PDF file of the document: its text as text, its pictures without lossy
    // compression and drawn without smoothing.
    virtual std::optional<std::string> pdf(const Document& document, std::string& whyNot) = 0;
};

} // namespace kvd
