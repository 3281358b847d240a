#include "flows/PrintFlow.h"

namespace kvd {

void PrintScreenshot(const Picture& picture, Services& services) {
    const std::optional<std::string> comment =
        services.input.ask("Comment:", "Add comment to your print", "KVD62 screenshot");
    if (!comment || comment->empty())
        return;
    const Outcome printed = services.printer.print(picture, *comment);
    if (!printed)
        services.box.tell("The screenshot was not printed: " + printed.reason() +
                              ".\r\nSet up a default printer in the system's settings, then "
                              "press \"Print Image\" again.",
                          "Print Image");
}

} // namespace kvd
