#pragma once

#include "platform/Picture.h"

namespace kvd {

// What the main window's picture shows: a screenshot from the line, a picture
// file, or, before either, the placeholder. The session holds it, once; the
// window draws it, and printing, copying and exporting read it. A screenshot's
// bitmap file is the session's current screenshot.
struct ShownPicture {
    enum class Kind { Placeholder, Screenshot, PictureFile };
    Kind kind = Kind::Placeholder;
    // Decoded once, when it came or was loaded.
    Picture picture;
};

} // namespace kvd
