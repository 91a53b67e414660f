#pragma once

#include "error.h"
#include "picture.h"

#include <string>

namespace forms {

// Writes the picture's pixels as a 24-bit uncompressed Windows bitmap file under
// exactly the given name. The file appears whole or not at all; an existing
// file under that name is replaced only when it may be written.
ErrorOr<void> SavePicture(PictureRef const& picture, std::string const& file_name);

}
