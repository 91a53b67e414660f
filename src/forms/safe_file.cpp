#include "safe_file.h"

#include "file_descriptor.h"
#include "save_failure.h"
#include "temporary_file.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <signal.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace forms {

int FileSystemCalls::default_open(char const* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t FileSystemCalls::default_write(int fd, void const* data, std::size_t size) { return ::write(fd, data, size); }
int FileSystemCalls::default_fsync(int fd) { return ::fsync(fd); }
int FileSystemCalls::default_close(int fd) { return ::close(fd); }
int FileSystemCalls::default_rename(char const* from, char const* to) { return ::rename(from, to); }
int FileSystemCalls::default_unlink(char const* path) { return ::unlink(path); }

namespace {

std::string folder_of(std::string const& name)
{
    auto slash = name.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return name.substr(0, slash);
}

std::string in_folder(std::string const& folder, std::string_view name)
{
    if (folder == "/")
        return "/" + std::string(name);
    return folder + "/" + std::string(name);
}

// The file that the name finally stands for, links followed; it need not exist.
struct Target {
    std::string name;
    std::optional<struct stat> status;
    std::string folder {};
};

ErrorOr<Target> resolve(std::string const& path)
{
    // The kernel's own limit on links followed in one lookup.
    constexpr int max_links = 40;
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0) {
            if (errno == ENOENT)
                return Target { current, std::nullopt };
            return save_failure(path, reason_for(errno));
        }
        if (!S_ISLNK(status.st_mode))
            return Target { current, status };
        if (links == max_links)
            return save_failure(path, reason_for(ELOOP));

        std::string link(std::size_t(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        for (;;) {
            auto length = ::readlink(current.c_str(), link.data(), link.size());
            if (length < 0)
                return save_failure(path, reason_for(errno));
            if (std::size_t(length) < link.size()) {
                link.resize(std::size_t(length));
                break;
            }
            link.resize(link.size() * 2);
        }
        if (link.empty())
            return save_failure(path, reason_for(ENOENT));
        current = link[0] == '/' ? link : in_folder(folder_of(current), link);
    }
}

// Immutable and append-only files can't be replaced, not even by root; a file
// system without these flags simply has none set.
std::optional<std::string_view> locked_reason(std::string const& name)
{
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd.is_open())
        return std::nullopt;
    int flags = 0;
    if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
        return std::nullopt;
    if (flags & FS_IMMUTABLE_FL)
        return "the file is immutable (locked against all changes)";
    if (flags & FS_APPEND_FL)
        return "the file is append-only (locked against being replaced)";
    return std::nullopt;
}

ErrorOr<void> check_existing(std::string const& path, Target const& target)
{
    auto mode = target.status->st_mode;
    if (S_ISDIR(mode))
        return save_failure(path, errors::file_io, "it is a folder, not a file");
    if (S_ISFIFO(mode))
        return save_failure(path, errors::file_io, "it is a named pipe (FIFO), not a file");
    if (S_ISSOCK(mode))
        return save_failure(path, errors::file_io, "it is a socket, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return save_failure(path, errors::file_io, "it is a device, not a file");
    if (!S_ISREG(mode))
        return save_failure(path, errors::file_io, "it is not a regular file");

    // Renaming over a file needs no write permission on the file itself, so
    // these tests are ours: a file nobody may write is not to be replaced.
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return save_failure(path, errors::permission_denied, "the file is read-only");
    // Before the access test, which reports a locked file only as EPERM.
    if (auto locked = locked_reason(target.name))
        return save_failure(path, errors::permission_denied, *locked);
    if (::faccessat(AT_FDCWD, target.name.c_str(), W_OK, AT_EACCESS) != 0) {
        if (errno == EACCES)
            return save_failure(path, errors::permission_denied, "permission denied (the file may not be changed by this user)");
        return save_failure(path, reason_for(errno));
    }
    return {};
}

ErrorOr<void> check_folder(std::string const& path, std::string const& folder)
{
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return save_failure(path, reason_for(errno));
    if (!S_ISDIR(status.st_mode))
        return save_failure(path, errors::path_not_found, "the folder does not exist");
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        if (errno == EACCES)
            return save_failure(path, errors::permission_denied, "the folder can't be written to (permission denied)");
        return save_failure(path, reason_for(errno));
    }
    return {};
}

// A write past the file-size limit raises SIGXFSZ, whose default is to kill
// the process. Blocked here for this thread only, the write fails with EFBIG
// instead; a signal raised meanwhile is taken off again so that it can't go
// off later.
class FileSizeSignalBlock {
public:
    FileSizeSignalBlock()
    {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGXFSZ);
        ::pthread_sigmask(SIG_BLOCK, &m_set, &m_previous);
        m_was_pending = is_pending();
    }
    ~FileSizeSignalBlock()
    {
        if (!m_was_pending && is_pending()) {
            struct timespec const now {};
            ::sigtimedwait(&m_set, nullptr, &now);
        }
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    FileSizeSignalBlock(FileSizeSignalBlock const&) = delete;
    FileSizeSignalBlock& operator=(FileSizeSignalBlock const&) = delete;

private:
    static bool is_pending()
    {
        sigset_t pending;
        sigemptyset(&pending);
        ::sigpending(&pending);
        return sigismember(&pending, SIGXFSZ) == 1;
    }

    sigset_t m_set;
    sigset_t m_previous;
    bool m_was_pending { false };
};

// Step one: what the name stands for, and whether it may be replaced or
// created there.
ErrorOr<Target> check_target(std::string const& path)
{
    if (path.empty())
        return save_failure(path, errors::path_not_found, "no file name was given");
    if (path.back() == '/') {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            return save_failure(path, errors::file_io, "it is a folder, not a file");
        return save_failure(path, errors::file_io, "the name ends in a slash, so it can only be a folder's");
    }

    auto resolved = resolve(path);
    if (resolved.is_error())
        return resolved.error();
    auto target = resolved.release_value();
    if (target.status) {
        if (auto checked = check_existing(path, target); checked.is_error())
            return checked.error();
    }
    target.folder = folder_of(target.name);
    if (auto checked = check_folder(path, target.folder); checked.is_error())
        return checked.error();
    return target;
}

// The new file beside the target; it goes again unless it is kept.
class Temporary {
public:
    explicit Temporary(FileSystemCalls const& calls)
        : m_calls(calls)
    {
    }
    ~Temporary()
    {
        m_fd.reset();
        if (!m_name.empty())
            m_calls.unlink(m_name.c_str());
    }
    Temporary(Temporary const&) = delete;
    Temporary& operator=(Temporary const&) = delete;

    // -1 and errno when no name is free or the folder takes no new file.
    int create(std::string const& folder, TemporaryNames& names)
    {
        // A clash with a leftover or a concurrent save only costs another name.
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto name = in_folder(folder, names.next());
            int fd = m_calls.open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_fd = FileDescriptor(fd, m_calls.close);
                m_name = std::move(name);
                return 0;
            }
            if (errno != EEXIST && errno != EINTR)
                break;
        }
        return -1;
    }

    std::string const& name() const { return m_name; }
    FileDescriptor& fd() { return m_fd; }
    void keep() { m_name.clear(); }

private:
    FileSystemCalls const& m_calls;
    std::string m_name;
    FileDescriptor m_fd;
};

// Step two: the bytes in the temporary, with the old file's owner and mode,
// synced to the device and closed.
ErrorOr<void> write_temporary(std::string const& path, Target const& target, std::span<std::uint8_t const> bytes,
    Temporary& temporary, FileSystemCalls const& calls)
{
    TemporaryNames names;
    // Before a killed save's leftovers can take the room this one needs.
    names.remove_stale(target.folder);
    if (temporary.create(target.folder, names) != 0)
        return save_failure(path, creation_reason(errno, target.folder));
    int const fd = temporary.fd().get();

    if (target.status) {
        // Best effort: only root may give a file away, and a user may only
        // pick a group of their own. The mode goes on afterwards because a
        // change of owner clears the set-id bits.
        if (::geteuid() == 0)
            (void)!::fchown(fd, target.status->st_uid, target.status->st_gid);
        else if (target.status->st_gid != ::getegid())
            (void)!::fchown(fd, uid_t(-1), target.status->st_gid);
        if (::fchmod(fd, target.status->st_mode & 07777) != 0) {
            auto reason = reason_for(errno);
            reason.text = "its permissions could not be kept (" + reason.text + ")";
            return save_failure(path, reason);
        }
    }

    auto const* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        auto written = calls.write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return save_failure(path, reason_for(errno));
        }
        // A regular file that takes nothing is full.
        if (written == 0)
            return save_failure(path, reason_for(ENOSPC));
        data += written;
        left -= std::size_t(written);
    }

    int synced;
    do
        synced = calls.fsync(fd);
    while (synced != 0 && errno == EINTR);
    if (synced != 0) {
        auto reason = reason_for(errno);
        reason.text = "the data could not be written out to the device (" + reason.text + ")";
        return save_failure(path, reason);
    }

    // The data has been synced already, so only other failures count.
    if (temporary.fd().close() != 0 && errno != EINTR)
        return save_failure(path, reason_for(errno));
    return {};
}

// Step three: the temporary takes the name, and the folder is synced so that
// the rename lasts.
ErrorOr<void> commit(std::string const& path, Target const& target, Temporary& temporary, FileSystemCalls const& calls)
{
    if (calls.rename(temporary.name().c_str(), target.name.c_str()) != 0) {
        int error = errno;
        SaveReason reason;
        if (error == EPERM || error == EACCES) {
            if (auto locked = locked_reason(target.name))
                reason = { errors::permission_denied, std::string(*locked) };
            else if (error == EPERM)
                reason = { errors::permission_denied, "the folder does not allow this file to be replaced" };
            else
                reason = creation_reason(error, target.folder);
        } else {
            reason = reason_for(error);
            reason.text = "the file could not be replaced (" + reason.text + ")";
        }
        return save_failure(path, reason);
    }
    temporary.keep();

    FileDescriptor folder(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.is_open())
        ::fsync(folder.get());
    return {};
}

}

ErrorOr<void> write_file_safely(std::string const& path, std::span<std::uint8_t const> bytes, FileSystemCalls const& calls)
{
    auto target = check_target(path);
    if (target.is_error())
        return target.error();
    FileSizeSignalBlock block;
    Temporary temporary(calls);
    if (auto written = write_temporary(path, target.value(), bytes, temporary, calls); written.is_error())
        return written;
    return commit(path, target.value(), temporary, calls);
}

}
