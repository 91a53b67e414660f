#pragma once

#include "forms/description.h"

#include <string_view>

namespace pictures {

// The bytes of a stored picture file ("background.bmp", "icon.ico", ...), built
// into the executable; empty for a name that no stored file has.
forms::StoredBytes stored(std::string_view file_name);

}
