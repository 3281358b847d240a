#pragma once

#include "platform/ExportEncoder.h"

namespace kvd {

// PNG through Qt's image writer, PDF through QPdfWriter. Text needs the fonts of
// a QGuiApplication.
class QtExportEncoder final : public ExportEncoder {
public:
    std::optional<std::string> png(const Picture& picture, int scale, std::string& whyNot) override;
    bool pdf(const Document& document, ByteSink& file, std::string& whyNot) override;
    double textWidth(std::string_view text, double points, bool bold) const override;
    // Letter in the United States and Canada, A4 elsewhere: on Windows where the
    // user's region is, elsewhere the locale the C library takes the paper from
    // (LC_ALL, LC_PAPER, LANG).
    PaperSize paper() const override;
};

} // namespace kvd
