#include "save_failure.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace forms {

SaveReason reason_for(int error)
{
    switch (error) {
    case ENOSPC:
        return { errors::disk_full, "there is no space left on the device" };
    case EDQUOT:
        return { errors::disk_full, "the disk quota is used up" };
    case EFBIG:
        return { errors::disk_full, "the file would be larger than the file-size limit allows" };
    case EACCES:
        return { errors::permission_denied, "permission denied" };
    case EPERM:
        return { errors::permission_denied, "the operation is not permitted" };
    case EROFS:
        return { errors::permission_denied, "the file system is read-only" };
    case ETXTBSY:
        return { errors::permission_denied, "the file is a running program" };
    case ENOENT:
    case ENOTDIR:
        return { errors::path_not_found, "the folder does not exist" };
    case ENAMETOOLONG:
        return { errors::file_io, "the name is too long" };
    case ELOOP:
        return { errors::file_io, "the name goes through too many symbolic links" };
    case EISDIR:
        return { errors::file_io, "it is a folder, not a file" };
    case EIO:
        return { errors::file_io, "the device reported an input/output error" };
    case EMFILE:
    case ENFILE:
        return { errors::file_io, "too many files are open" };
    case EBUSY:
        return { errors::file_io, "the file is in use" };
    default: {
        std::string text = std::strerror(error);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
            text[0] = char(text[0] - 'A' + 'a');
        return { errors::file_io, text };
    }
    }
}

SaveReason creation_reason(int error, std::string const& folder)
{
    if (error == EACCES || error == EPERM)
        return { errors::permission_denied, "the folder can't be written to (permission denied)" };
    if (error == EEXIST)
        return { errors::file_io, "no free name for a temporary file could be found in the folder" };
    // Some file systems (/proc, /sys) answer ENOENT for a folder that is
    // there but takes no new files.
    struct stat status {};
    if (error == ENOENT && ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return { errors::permission_denied, "the file system does not allow new files in this folder" };
    return reason_for(error);
}

RuntimeError save_failure(std::string const& path, SaveReason const& reason)
{
    return { reason.number, "Can't save \"" + path + "\": " + reason.text + "." };
}

RuntimeError save_failure(std::string const& path, std::int32_t number, std::string_view text)
{
    return save_failure(path, SaveReason { number, std::string(text) });
}

}
