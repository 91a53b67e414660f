#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace forms::qt {

// "description|pattern|description|pattern..." as name filters for a file
// dialog: "description (pattern)", with ';'-separated patterns turned into the
// space-separated list the dialog expects. A description that already ends
// with its pattern in brackets is not given it a second time.
std::vector<std::string> dialog_name_filters(std::string_view filter);

// ".BMP" -> "BMP": the dialog wants the suffix without its dot.
std::string dialog_default_suffix(std::string_view extension);

}
