#include "platform/qt/QtFormPrinter.h"

namespace kvd {

Outcome QtFormPrinter::printForm(const std::any&) {
    return Outcome::failure("printing is not available yet");
}

} // namespace kvd
