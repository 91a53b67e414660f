#include "save_picture.h"

#include "bmp.h"
#include "safe_file.h"

namespace forms {

ErrorOr<void> SavePicture(PictureRef const& picture, std::string const& file_name)
{
    Surface const* pixels = picture ? picture->pixels() : nullptr;
    if (!pixels || pixels->is_empty())
        return RuntimeError { errors::invalid_picture, "Invalid picture" };
    auto const bytes = encode_bmp(*pixels);
    return write_file_safely(file_name, bytes);
}

}
