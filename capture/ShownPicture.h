#pragma once

#include <string>

#include "platform/Picture.h"

namespace kvd {

// What the main window's picture shows: a screenshot from the line, a picture
// file, or, before either, the placeholder. The session holds it, once; the
// window draws it, and printing, copying and exporting read it.
struct ShownPicture {
    enum class Kind { Placeholder, Screenshot, PictureFile };
    Kind kind = Kind::Placeholder;
    // A screenshot's bitmap file as it came off the line; empty otherwise.
    std::string bytes;
    // Decoded once, when it came or was loaded.
    Picture picture;
};

} // namespace kvd
