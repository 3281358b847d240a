#pragma once

#include "platform/ExportEncoder.h"

namespace kvd {

// PNG through Qt's image writer, PDF through QPdfWriter. Text needs the fonts of
// a QGuiApplication.
class QtExportEncoder final : public ExportEncoder {
public:
    std::optional<std::string> png(const Picture& picture, int scale, std::string& whyNot) override;
    bool pdf(const Document& document, ByteSink& file, std::string& whyNot) override;
};

} // namespace kvd
