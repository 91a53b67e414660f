#pragma once

#include "error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace forms {

// Why a save failed: the run-time error's number and the plain words that
// follow the file's name.
struct SaveReason {
    std::int32_t number { errors::file_io };
    std::string text;
};

// The reason for an errno value from a file system call.
SaveReason reason_for(int error);

// The reason for failing to create a new file in `folder`.
SaveReason creation_reason(int error, std::string const& folder);

RuntimeError save_failure(std::string const& path, SaveReason const& reason);
RuntimeError save_failure(std::string const& path, std::int32_t number, std::string_view text);

}
