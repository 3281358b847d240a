#pragma once

#include "flows/Services.h"
#include "platform/Picture.h"

namespace kvd {

// "Print Image": asks for a one-line comment, then prints the picture with it on
// the print page. Cancel prints nothing; a print that fails is said.
void PrintScreenshot(const Picture& picture, Services& services);

} // namespace kvd
