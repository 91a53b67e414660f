#include "forms/bmp.h"
#include "forms/picture.h"
#include "forms/safe_file.h"
#include "forms/save_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <linux/fs.h>
#include <optional>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace errors = forms::errors;
using forms::ErrorOr;
using forms::FileSystemCalls;
using forms::RuntimeError;
using Bytes = std::vector<std::uint8_t>;

// The conventional "nobody" of Linux systems.
constexpr uid_t unprivileged_id = 65534;
constexpr std::size_t payload_size = 100'000;

Bytes pattern(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t((i * 7 + i / 251 + seed) & 0xff);
    return bytes;
}

Bytes const& payload()
{
    static Bytes const bytes = pattern(payload_size, 1);
    return bytes;
}

Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::optional<Bytes> read_bytes(std::string const& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    Bytes bytes;
    std::uint8_t buffer[65536];
    for (;;) {
        auto n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    return bytes;
}

void put_bytes(std::string const& path, Bytes const& bytes, mode_t mode = 0644)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ASSERT_EQ(::fchmod(fd, mode), 0);
    ::close(fd);
}

mode_t mode_of(std::string const& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

mode_t new_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::set<std::string> names_in(std::string const& folder)
{
    std::set<std::string> names;
    for (auto const& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool set_inode_flag(std::string const& path, int flag, bool on)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | flag : flags & ~flag;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

void give_to_unprivileged(std::string const& path)
{
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(path.c_str(), unprivileged_id, unprivileged_id), 0) << path;
    }
}

void make_folder(std::string const& path, mode_t mode = 0755)
{
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// A folder of its own for each test, removed with everything in it, locked
// files and mounts included.
class Scratch {
public:
    Scratch()
    {
        std::string base = testing::TempDir();
        if (base.empty() || base.back() != '/')
            base += '/';
        std::string name = base + "zorvane-save-XXXXXX";
        if (::mkdtemp(name.data()))
            m_root = name;
        // Reachable by the unprivileged user of some rows.
        ::chmod(m_root.c_str(), 0755);
    }
    ~Scratch()
    {
        for (auto it = m_mounts.rbegin(); it != m_mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        if (m_root.empty())
            return;
        std::error_code ignored;
        for (auto it = fs::recursive_directory_iterator(m_root, ignored); it != fs::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_symlink(ignored))
                continue;
            set_inode_flag(it->path().string(), FS_IMMUTABLE_FL | FS_APPEND_FL, false);
            if (it->is_directory(ignored))
                ::chmod(it->path().c_str(), 0700);
        }
        fs::remove_all(m_root, ignored);
    }
    Scratch(Scratch const&) = delete;
    Scratch& operator=(Scratch const&) = delete;

    bool valid() const { return !m_root.empty(); }
    std::string const& root() const { return m_root; }
    std::string path(std::string_view name) const { return m_root + "/" + std::string(name); }

    // A tiny tmpfs, when this process may mount one.
    bool mount_small(std::string const& path, std::string_view options)
    {
        if (::mkdir(path.c_str(), 0755) != 0)
            return false;
        if (::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, std::string(options).c_str()) != 0)
            return false;
        m_mounts.push_back(path);
        return true;
    }

private:
    std::string m_root;
    std::vector<std::string> m_mounts;
};

// Everything under a folder: kinds, modes, owners, contents and link targets,
// so that a failed save can be shown to have changed nothing and left nothing.
std::string snapshot(std::string const& root, std::string const& skip)
{
    std::vector<std::string> lines;
    for (auto const& entry : fs::recursive_directory_iterator(root)) {
        auto const path = entry.path().string();
        if (path == skip || path.starts_with(skip + "/"))
            continue;
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0)
            continue;
        std::ostringstream line;
        line << path.substr(root.size()) << " type " << (status.st_mode & S_IFMT) << " mode " << std::oct
             << (status.st_mode & 07777) << std::dec << " owner " << status.st_uid << ":" << status.st_gid;
        if (S_ISLNK(status.st_mode)) {
            line << " -> " << fs::read_symlink(path).string();
        } else if (S_ISREG(status.st_mode)) {
            auto bytes = read_bytes(path).value_or(Bytes {});
            std::uint64_t hash = 1469598103934665603ULL;
            for (auto b : bytes)
                hash = (hash ^ b) * 1099511628211ULL;
            line << " size " << bytes.size() << " hash " << std::hex << hash;
        }
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (auto const& line : lines)
        all += line + "\n";
    return all;
}

// --- Running a save in a child process --------------------------------------

enum class Who {
    Current, // whoever runs the tests
    Root,
    Unprivileged,
};

struct Outcome {
    ErrorOr<void> attempt;
    ErrorOr<void> next;
};

void append_result(std::string& out, ErrorOr<void> const& result)
{
    std::int32_t fields[3] = { result.is_error() ? 1 : 0, result.is_error() ? result.error().number : 0,
        result.is_error() ? std::int32_t(result.error().description.size()) : 0 };
    out.append(reinterpret_cast<char const*>(fields), sizeof fields);
    if (result.is_error())
        out += result.error().description;
}

std::optional<ErrorOr<void>> take_result(std::string_view& in)
{
    std::int32_t fields[3];
    if (in.size() < sizeof fields)
        return std::nullopt;
    std::memcpy(fields, in.data(), sizeof fields);
    in.remove_prefix(sizeof fields);
    if (!fields[0])
        return ErrorOr<void> {};
    if (fields[2] < 0 || in.size() < std::size_t(fields[2]))
        return std::nullopt;
    RuntimeError error { fields[1], std::string(in.substr(0, std::size_t(fields[2]))) };
    in.remove_prefix(std::size_t(fields[2]));
    return ErrorOr<void>(error);
}

bool drop_privileges()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(unprivileged_id, unprivileged_id, unprivileged_id) == 0
        && ::setresuid(unprivileged_id, unprivileged_id, unprivileged_id) == 0;
}

// Runs `attempt` and then `next` in a forked child, as the given user and with
// the given file-size limit on the attempt. A child also keeps a save that
// hangs (on a FIFO, say) or dies of a signal from taking the suite with it.
Outcome in_child(Who who, std::optional<rlim_t> size_limit, std::function<ErrorOr<void>()> const& attempt,
    std::function<ErrorOr<void>()> const& next)
{
    RuntimeError broken { -1, "the child process failed" };
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return { broken, broken };
    pid_t child = ::fork();
    if (child < 0)
        return { broken, broken };
    if (child == 0) {
        ::close(pipe_fds[0]);
        ::alarm(30);
        if (who == Who::Unprivileged && ::geteuid() == 0 && !drop_privileges())
            ::_exit(90);
        struct rlimit original {};
        ::getrlimit(RLIMIT_FSIZE, &original);
        if (size_limit) {
            struct rlimit limited = original;
            limited.rlim_cur = *size_limit;
            if (::setrlimit(RLIMIT_FSIZE, &limited) != 0)
                ::_exit(91);
        }
        std::string out;
        append_result(out, attempt());
        if (size_limit && ::setrlimit(RLIMIT_FSIZE, &original) != 0)
            ::_exit(92);
        append_result(out, next());
        std::string_view rest = out;
        while (!rest.empty()) {
            auto n = ::write(pipe_fds[1], rest.data(), rest.size());
            if (n <= 0)
                ::_exit(93);
            rest.remove_prefix(std::size_t(n));
        }
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    std::string in;
    char buffer[4096];
    for (;;) {
        auto n = ::read(pipe_fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        in.append(buffer, std::size_t(n));
    }
    ::close(pipe_fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (WIFSIGNALED(status)) {
        ADD_FAILURE() << "the saving child died of signal " << WTERMSIG(status) << " (" << strsignal(WTERMSIG(status)) << ")";
        return { broken, broken };
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the saving child exited with status " << WEXITSTATUS(status);
        return { broken, broken };
    }
    std::string_view rest = in;
    auto first = take_result(rest);
    auto second = take_result(rest);
    if (!first || !second) {
        ADD_FAILURE() << "the saving child reported nothing readable";
        return { broken, broken };
    }
    return { *first, *second };
}

bool unprivileged_can_reach(std::string const& folder)
{
    if (::geteuid() != 0)
        return true;
    auto outcome = in_child(
        Who::Unprivileged, std::nullopt,
        [&]() -> ErrorOr<void> {
            if (::access(folder.c_str(), X_OK) != 0)
                return RuntimeError { 1, "unreachable" };
            return {};
        },
        [] { return ErrorOr<void> {}; });
    return !outcome.attempt.is_error();
}

// --- The failure table -------------------------------------------------------

struct Prepared {
    std::string name; // handed to the save
    std::string skip {}; // why the row can't run here, when it can't
};

using Prepare = std::function<Prepared(Scratch&)>;

struct FailureRow {
    char const* label;
    Who who;
    Prepare prepare;
    std::int32_t number;
    char const* reason; // expected in the description, after the name
    FileSystemCalls calls {};
    std::optional<rlim_t> size_limit {};
};

std::ostream& operator<<(std::ostream& out, FailureRow const& row) { return out << row.label; }

Prepared skipped(std::string why) { return { {}, std::move(why) }; }

// Most rows work in the folder "work" with an old file "old.bmp" in it.
std::string work_folder(Scratch& scratch, Who who)
{
    auto folder = scratch.path("work");
    make_folder(folder);
    if (who == Who::Unprivileged)
        give_to_unprivileged(folder);
    return folder;
}

std::string old_file(Scratch& scratch, Who who, mode_t mode = 0644)
{
    auto folder = work_folder(scratch, who);
    auto name = folder + "/old.bmp";
    put_bytes(name, text_bytes("the old picture"), mode);
    if (who == Who::Unprivileged)
        give_to_unprivileged(name);
    return name;
}

Prepare existing_file(mode_t mode, Who who = Who::Current)
{
    return [=](Scratch& scratch) { return Prepared { old_file(scratch, who, mode) }; };
}

Prepare locked_file(int flag)
{
    return [=](Scratch& scratch) {
        auto name = old_file(scratch, Who::Current);
        if (!set_inode_flag(name, flag, true))
            return skipped("this file system or process can't lock files (" + std::string(std::strerror(errno)) + ")");
        return Prepared { name };
    };
}

Prepare kernel_file(char const* name)
{
    return [=](Scratch&) { return ::access("/proc/version", F_OK) == 0 ? Prepared { name } : skipped("no /proc here"); };
}

ssize_t write_until_half_full(int fd, void const* data, std::size_t size)
{
    struct stat status {};
    ::fstat(fd, &status);
    auto room = std::int64_t(payload_size / 2) - std::int64_t(status.st_size);
    if (room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, data, std::min(size, std::size_t(room)));
}

std::vector<FailureRow> failure_rows()
{
    std::vector<FailureRow> rows;

    // Permissions and locks.
    rows.push_back({ "ReadOnlyFileAsRoot", Who::Root, existing_file(0444), errors::permission_denied, "the file is read-only" });
    rows.push_back({ "ReadOnlyFileAsUnprivileged", Who::Unprivileged, existing_file(0444, Who::Unprivileged),
        errors::permission_denied, "the file is read-only" });
    rows.push_back({ "OwnFileWithoutWriteBitsAsUnprivileged", Who::Unprivileged, existing_file(0555, Who::Unprivileged),
        errors::permission_denied, "the file is read-only" });
    rows.push_back({ "SomebodyElsesFileAsUnprivileged", Who::Unprivileged,
        [](Scratch& scratch) {
            if (::geteuid() != 0)
                return skipped("needs root to give the file to somebody else");
            auto name = old_file(scratch, Who::Current, 0644);
            // The folder would let the rename through; the file's own mode must not.
            ::chmod(scratch.path("work").c_str(), 0777);
            return Prepared { name };
        },
        errors::permission_denied, "permission denied" });
    rows.push_back({ "ImmutableFile", Who::Current, locked_file(FS_IMMUTABLE_FL), errors::permission_denied, "immutable" });
    rows.push_back({ "AppendOnlyFile", Who::Current, locked_file(FS_APPEND_FL), errors::permission_denied, "append-only" });
    rows.push_back({ "NewFileInAFolderThatCantBeWritten", Who::Unprivileged,
        [](Scratch& scratch) {
            auto folder = work_folder(scratch, Who::Current);
            ::chmod(folder.c_str(), 0555);
            return Prepared { folder + "/new.bmp" };
        },
        errors::permission_denied, "the folder can't be written to" });
    rows.push_back({ "WritableFileInAFolderThatCantBeWritten", Who::Unprivileged,
        [](Scratch& scratch) {
            auto name = old_file(scratch, Who::Current, 0666);
            ::chmod(scratch.path("work").c_str(), 0555);
            return Prepared { name };
        },
        errors::permission_denied, "the folder can't be written to" });
    rows.push_back({ "FileOnAReadOnlyFileSystem", Who::Current,
        [](Scratch& scratch) {
            auto folder = scratch.path("readonly");
            if (!scratch.mount_small(folder, "size=64k"))
                return skipped("can't mount a tmpfs here");
            put_bytes(folder + "/old.bmp", text_bytes("the old picture"));
            if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return skipped("can't remount read-only here");
            return Prepared { folder + "/old.bmp" };
        },
        errors::permission_denied, "the file system is read-only" });
    rows.push_back({ "FileOfTheKernel", Who::Root, kernel_file("/proc/version"), errors::permission_denied, "the file is read-only" });
    rows.push_back({ "NewFileWhereTheFileSystemTakesNone", Who::Root, kernel_file("/proc/version.BMP"),
        errors::permission_denied, "the file system does not allow new files in this folder" });

    // Names that are not regular files.
    rows.push_back({ "Folder", Who::Current,
        [](Scratch& scratch) {
            auto folder = work_folder(scratch, Who::Current) + "/pictures.bmp";
            make_folder(folder);
            put_bytes(folder + "/inside", text_bytes("kept"));
            return Prepared { folder };
        },
        errors::file_io, "it is a folder, not a file" });
    rows.push_back({ "FolderNamedWithATrailingSlash", Who::Current,
        [](Scratch& scratch) { return Prepared { work_folder(scratch, Who::Current) + "/" }; }, errors::file_io,
        "it is a folder, not a file" });
    rows.push_back({ "Fifo", Who::Current,
        [](Scratch& scratch) {
            auto name = work_folder(scratch, Who::Current) + "/pipe.bmp";
            ::mkfifo(name.c_str(), 0666);
            return Prepared { name };
        },
        errors::file_io, "it is a named pipe (FIFO), not a file" });
    rows.push_back({ "Socket", Who::Current,
        [](Scratch& scratch) {
            auto name = work_folder(scratch, Who::Current) + "/socket.bmp";
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            if (name.size() >= sizeof address.sun_path)
                return skipped("the scratch folder's name is too long for a socket");
            std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
            int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            bool bound = ::bind(fd, reinterpret_cast<sockaddr const*>(&address), sizeof address) == 0;
            ::close(fd);
            if (!bound)
                return skipped("can't make a socket file here");
            return Prepared { name };
        },
        errors::file_io, "it is a socket, not a file" });
    rows.push_back({ "Device", Who::Current,
        [](Scratch& scratch) {
            auto name = work_folder(scratch, Who::Current) + "/null.bmp";
            if (::mknod(name.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                return skipped("can't make a device file here");
            return Prepared { name };
        },
        errors::file_io, "it is a device, not a file" });
    rows.push_back({ "LinkToADevice", Who::Current,
        [](Scratch& scratch) {
            auto name = work_folder(scratch, Who::Current) + "/null.bmp";
            ::symlink("/dev/null", name.c_str());
            return Prepared { name };
        },
        errors::file_io, "it is a device, not a file" });
    rows.push_back({ "LinkToAFolder", Who::Current,
        [](Scratch& scratch) {
            auto folder = work_folder(scratch, Who::Current);
            make_folder(folder + "/real");
            ::symlink("real", (folder + "/link.bmp").c_str());
            return Prepared { folder + "/link.bmp" };
        },
        errors::file_io, "it is a folder, not a file" });

    // Names that lead nowhere.
    rows.push_back({ "MissingFolder", Who::Current,
        [](Scratch& scratch) { return Prepared { work_folder(scratch, Who::Current) + "/nowhere/new.bmp" }; },
        errors::path_not_found, "the folder does not exist" });
    rows.push_back({ "FolderThatIsAFile", Who::Current,
        [](Scratch& scratch) { return Prepared { old_file(scratch, Who::Current) + "/new.bmp" }; },
        errors::path_not_found, "the folder does not exist" });
    rows.push_back({ "DanglingLinkIntoAMissingFolder", Who::Current,
        [](Scratch& scratch) {
            auto name = work_folder(scratch, Who::Current) + "/link.bmp";
            ::symlink("nowhere/target.bmp", name.c_str());
            return Prepared { name };
        },
        errors::path_not_found, "the folder does not exist" });
    rows.push_back({ "LinkLoop", Who::Current,
        [](Scratch& scratch) {
            auto folder = work_folder(scratch, Who::Current);
            ::symlink("b.bmp", (folder + "/a.bmp").c_str());
            ::symlink("a.bmp", (folder + "/b.bmp").c_str());
            return Prepared { folder + "/a.bmp" };
        },
        errors::file_io, "too many symbolic links" });
    rows.push_back({ "NameOf256Bytes", Who::Current,
        [](Scratch& scratch) { return Prepared { work_folder(scratch, Who::Current) + "/" + std::string(252, 'n') + ".bmp" }; },
        errors::file_io, "the name is too long" });
    rows.push_back({ "EmptyName", Who::Current, [](Scratch&) { return Prepared { "" }; }, errors::path_not_found,
        "no file name was given" });

    // Running out of room, at the first, a middle and the last byte.
    for (auto [label, limit] : { std::pair { "FileSizeLimitAtTheFirstByte", rlim_t(0) },
             std::pair { "FileSizeLimitAtAMiddleByte", rlim_t(payload_size / 2) },
             std::pair { "FileSizeLimitAtTheLastByte", rlim_t(payload_size - 1) } }) {
        FailureRow row { label, Who::Current, existing_file(0644), errors::disk_full, "file-size limit" };
        row.size_limit = limit;
        rows.push_back(row);
    }
    rows.push_back({ "FullDevice", Who::Current,
        [](Scratch& scratch) {
            auto folder = scratch.path("small");
            if (!scratch.mount_small(folder, "size=64k,mode=755"))
                return skipped("can't mount a tmpfs here");
            put_bytes(folder + "/old.bmp", text_bytes("the old picture"));
            return Prepared { folder + "/old.bmp" };
        },
        errors::disk_full, "there is no space left on the device" });

    // Failures that only the seam can make.
    {
        FailureRow row { "WriteFailsHalfWay", Who::Current, existing_file(0644), errors::disk_full, "there is no space left on the device" };
        row.calls.write = write_until_half_full;
        rows.push_back(row);
    }
    {
        FailureRow row { "SyncFails", Who::Current, existing_file(0644), errors::file_io,
            "the data could not be written out to the device (the device reported an input/output error)" };
        row.calls.fsync = [](int) {
            errno = EIO;
            return -1;
        };
        rows.push_back(row);
    }
    {
        FailureRow row { "SyncFailsForANewFile", Who::Current,
            [](Scratch& scratch) { return Prepared { work_folder(scratch, Who::Current) + "/new.bmp" }; }, errors::file_io,
            "could not be written out to the device" };
        row.calls.fsync = [](int) {
            errno = EIO;
            return -1;
        };
        rows.push_back(row);
    }
    {
        FailureRow row { "CloseFails", Who::Current, existing_file(0644), errors::file_io, "input/output error" };
        row.calls.close = [](int fd) {
            ::close(fd);
            errno = EIO;
            return -1;
        };
        rows.push_back(row);
    }
    {
        FailureRow row { "RenameFails", Who::Current, existing_file(0644), errors::file_io,
            "the file could not be replaced (the device reported an input/output error)" };
        row.calls.rename = [](char const*, char const*) {
            errno = EIO;
            return -1;
        };
        rows.push_back(row);
    }
    {
        FailureRow row { "RenameRefused", Who::Current, existing_file(0644), errors::permission_denied,
            "the folder does not allow this file to be replaced" };
        row.calls.rename = [](char const*, char const*) {
            errno = EPERM;
            return -1;
        };
        rows.push_back(row);
    }
    {
        FailureRow row { "NoTemporaryNameIsFree", Who::Current, existing_file(0644), errors::file_io, "no free name for a temporary file" };
        row.calls.open = [](char const*, int, mode_t) {
            errno = EEXIST;
            return -1;
        };
        rows.push_back(row);
    }
    return rows;
}

class SaveFailure : public testing::TestWithParam<FailureRow> { };

TEST_P(SaveFailure, KeepsWhatWasThereAndSaysWhy)
{
    auto const& row = GetParam();
    if (row.who == Who::Root && ::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    if (row.who == Who::Unprivileged && !unprivileged_can_reach(scratch.root()))
        GTEST_SKIP() << "the unprivileged user can't reach " << scratch.root();

    Prepared prepared = row.prepare(scratch);
    if (HasFatalFailure())
        return;
    if (!prepared.skip.empty())
        GTEST_SKIP() << prepared.skip;

    // Somewhere the same user can save to afterwards.
    auto const next_folder = scratch.path("next");
    make_folder(next_folder, 0777);
    auto const next_name = next_folder + "/after.bmp";

    auto const before = snapshot(scratch.root(), next_folder);
    auto outcome = in_child(
        row.who, row.size_limit, [&] { return forms::write_file_safely(prepared.name, payload(), row.calls); },
        [&] { return forms::write_file_safely(next_name, payload()); });

    ASSERT_TRUE(outcome.attempt.is_error()) << "saving to \"" << prepared.name << "\" succeeded";
    auto const& error = outcome.attempt.error();
    EXPECT_EQ(error.number, row.number) << error.description;
    auto const opening = "Can't save \"" + prepared.name + "\": ";
    EXPECT_TRUE(error.description.starts_with(opening)) << error.description;
    EXPECT_NE(error.description.find(row.reason, opening.size()), std::string::npos)
        << error.description << "\nshould say: " << row.reason;
    EXPECT_TRUE(error.description.ends_with(".")) << error.description;

    // Nothing changed, nothing left behind: old bytes, modes, links, no temporary file.
    EXPECT_EQ(snapshot(scratch.root(), next_folder), before);

    ASSERT_FALSE(outcome.next.is_error()) << outcome.next.error().description;
    EXPECT_EQ(read_bytes(next_name), payload());
    EXPECT_EQ(names_in(next_folder), std::set<std::string> { "after.bmp" });
}

INSTANTIATE_TEST_SUITE_P(Rows, SaveFailure, testing::ValuesIn(failure_rows()),
    [](testing::TestParamInfo<FailureRow> const& info) { return std::string(info.param.label); });

// --- Names that must simply work ---------------------------------------------

// A temporary file that another save left in the folder.
enum class Leftover {
    None,
    OfAnEndedSave, // the only one to be removed
    OfARunningSave,
    OfAnotherThread, // this process's own
    LookAlike,
};

struct NameRow {
    char const* label;
    std::string name;
    Leftover leftover { Leftover::None };
};

std::string g_temporary;

// Named as the save of process `pid` would name it: this process's own name
// for one, with the pid changed.
std::string temporary_of(Scratch& scratch, pid_t pid)
{
    make_folder(scratch.path("probe"));
    FileSystemCalls calls;
    calls.open = [](char const* path, int flags, mode_t mode) {
        g_temporary = fs::path(path).filename().string();
        return ::open(path, flags, mode);
    };
    EXPECT_FALSE(forms::write_file_safely(scratch.path("probe/probe.bmp"), Bytes {}, calls).is_error());
    auto const own = ".zorvane-" + std::to_string(::getpid()) + "-";
    EXPECT_TRUE(g_temporary.starts_with(own)) << g_temporary;
    return ".zorvane-" + std::to_string(pid) + "-" + g_temporary.substr(std::min(own.size(), g_temporary.size()));
}

pid_t ended_process()
{
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

std::string leftover_name(Scratch& scratch, Leftover leftover)
{
    switch (leftover) {
    case Leftover::None:
        return {};
    case Leftover::OfAnEndedSave:
        return temporary_of(scratch, ended_process());
    case Leftover::OfARunningSave:
        return temporary_of(scratch, ::getppid());
    case Leftover::OfAnotherThread:
        return temporary_of(scratch, ::getpid());
    case Leftover::LookAlike:
        return temporary_of(scratch, ended_process()) + ".bmp";
    }
    return {};
}

std::ostream& operator<<(std::ostream& out, NameRow const& row) { return out << row.label; }

class SaveName : public testing::TestWithParam<NameRow> { };

TEST_P(SaveName, WritesTheBytesAndKeepsTheMode)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const folder = scratch.path("names");
    make_folder(folder);
    auto const name = folder + "/" + GetParam().name;
    std::set<std::string> expected { GetParam().name };
    if (auto leftover = leftover_name(scratch, GetParam().leftover); !leftover.empty()) {
        put_bytes(folder + "/" + leftover, payload());
        if (GetParam().leftover != Leftover::OfAnEndedSave)
            expected.insert(leftover);
    }

    auto created = forms::write_file_safely(name, payload());
    ASSERT_FALSE(created.is_error()) << created.error().description;
    EXPECT_EQ(read_bytes(name), payload());
    EXPECT_EQ(mode_of(name), new_file_mode());
    EXPECT_EQ(names_in(folder), expected);

    ASSERT_EQ(::chmod(name.c_str(), 0604), 0);
    auto const second = pattern(3000, 9);
    auto replaced = forms::write_file_safely(name, second);
    ASSERT_FALSE(replaced.is_error()) << replaced.error().description;
    EXPECT_EQ(read_bytes(name), second);
    EXPECT_EQ(mode_of(name), mode_t(0604));
    EXPECT_EQ(names_in(folder), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, SaveName,
    testing::Values(NameRow { "NameOf255Bytes", std::string(251, 'n') + ".bmp" },
        NameRow { "Utf8NameOf255Bytes", std::string(3, 'n') + [] {
            std::string s;
            for (int i = 0; i < 84; ++i)
                s += "\xe2\x82\xac"; // the euro sign, three bytes
            return s;
        }() },
        NameRow { "Spaces", "a picture with  spaces .bmp" },
        NameRow { "Quotes", "\"double\" and 'single' quotes.bmp" },
        NameRow { "Newline", "two\nlines.bmp" },
        NameRow { "LeadingDash", "-rf.bmp" },
        NameRow { "Utf8", "Gr\xc3\xbc\xc3\x9f" "e \xe7\x94\xbb\xe5\x83\x8f \xf0\x9f\x92\xa1.bmp" },
        NameRow { "NoExtension", "picture" },
        NameRow { "AnotherExtension", "picture.png" },
        NameRow { "Hidden", ".picture.bmp" },
        NameRow { "Backslash", "back\\slash.bmp" },
        NameRow { "Asterisk", "*.bmp" },
        NameRow { "StaleTemporaryOfAnEndedSaveIsRemoved", "picture.bmp", Leftover::OfAnEndedSave },
        NameRow { "TemporaryOfARunningSaveIsKept", "picture.bmp", Leftover::OfARunningSave },
        NameRow { "TemporaryOfAnotherThreadIsKept", "picture.bmp", Leftover::OfAnotherThread },
        NameRow { "LookAlikeOfAStaleTemporaryIsKept", "picture.bmp", Leftover::LookAlike }),
    [](testing::TestParamInfo<NameRow> const& info) { return std::string(info.param.label); });

// --- Existing files and links --------------------------------------------------

TEST(SaveFile, KeepsTheModeOfAnExistingFile)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("picture.bmp");
    for (mode_t mode : { 0600, 0604, 0640, 0660, 0666, 0700, 0755, 0200, 0620, 0777 }) {
        put_bytes(name, text_bytes("old"), mode);
        auto saved = forms::write_file_safely(name, payload());
        ASSERT_FALSE(saved.is_error()) << std::oct << mode << ": " << saved.error().description;
        EXPECT_EQ(mode_of(name), mode) << std::oct << mode;
        ::chmod(name.c_str(), mode | S_IRUSR);
        EXPECT_EQ(read_bytes(name), payload()) << std::oct << mode;
    }
    EXPECT_EQ(names_in(scratch.root()), std::set<std::string> { "picture.bmp" });
}

TEST(SaveFile, KeepsTheOwnerOfAnExistingFileWhenRunAsRoot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("picture.bmp");
    put_bytes(name, text_bytes("old"), 0640);
    ASSERT_EQ(::chown(name.c_str(), unprivileged_id, unprivileged_id), 0);

    auto saved = forms::write_file_safely(name, payload());
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    struct stat status {};
    ASSERT_EQ(::stat(name.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, unprivileged_id);
    EXPECT_EQ(status.st_gid, unprivileged_id);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(read_bytes(name), payload());
}

TEST(SaveFile, ReplacesAnEmptyAndALargerFileWhole)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("picture.bmp");
    put_bytes(name, pattern(payload_size * 3, 4));
    auto shorter = pattern(10, 5);
    ASSERT_FALSE(forms::write_file_safely(name, shorter).is_error());
    EXPECT_EQ(read_bytes(name), shorter);
    ASSERT_FALSE(forms::write_file_safely(name, Bytes {}).is_error());
    EXPECT_EQ(read_bytes(name), Bytes {});
}

TEST(SaveThroughLink, WritesTheTargetAndKeepsTheLink)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    make_folder(scratch.path("real"));
    make_folder(scratch.path("links"));
    auto const target = scratch.path("real/picture.bmp");
    put_bytes(target, text_bytes("old"), 0640);
    // A relative chain across folders: links/first -> second -> ../real/picture.bmp
    ASSERT_EQ(::symlink("../real/picture.bmp", scratch.path("links/second.bmp").c_str()), 0);
    ASSERT_EQ(::symlink("second.bmp", scratch.path("links/first.bmp").c_str()), 0);

    auto saved = forms::write_file_safely(scratch.path("links/first.bmp"), payload());
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    EXPECT_EQ(read_bytes(target), payload());
    EXPECT_EQ(mode_of(target), mode_t(0640));
    EXPECT_TRUE(fs::is_symlink(scratch.path("links/first.bmp")));
    EXPECT_EQ(fs::read_symlink(scratch.path("links/first.bmp")).string(), "second.bmp");
    EXPECT_EQ(fs::read_symlink(scratch.path("links/second.bmp")).string(), "../real/picture.bmp");
    EXPECT_EQ(names_in(scratch.path("real")), std::set<std::string> { "picture.bmp" });
    EXPECT_EQ(names_in(scratch.path("links")), (std::set<std::string> { "first.bmp", "second.bmp" }));
}

TEST(SaveThroughLink, ADanglingLinkGetsItsTargetMade)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    make_folder(scratch.path("real"));
    auto const link = scratch.path("link.bmp");
    ASSERT_EQ(::symlink("real/new.bmp", link.c_str()), 0);

    auto saved = forms::write_file_safely(link, payload());
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_bytes(scratch.path("real/new.bmp")), payload());
    EXPECT_EQ(mode_of(scratch.path("real/new.bmp")), new_file_mode());
    EXPECT_EQ(names_in(scratch.path("real")), std::set<std::string> { "new.bmp" });
}

TEST(SaveThroughLink, AnAbsoluteLinkToAnUnwritableFileIsRefusedAndKept)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const target = scratch.path("target.bmp");
    put_bytes(target, text_bytes("old"), 0444);
    auto const link = scratch.path("link.bmp");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    auto saved = forms::write_file_safely(link, payload());
    ASSERT_TRUE(saved.is_error());
    // The name as given, not the target's.
    EXPECT_EQ(saved.error().description, "Can't save \"" + link + "\": the file is read-only.");
    EXPECT_EQ(read_bytes(target), text_bytes("old"));
    EXPECT_TRUE(fs::is_symlink(link));
}

// --- The seam: interrupted and short writes still give the whole file ---------

std::atomic<int> g_calls { 0 };
std::vector<std::string> g_opened;

TEST(SaveFile, CopesWithShortWritesInterruptionsAndNameClashes)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("picture.bmp");
    put_bytes(name, text_bytes("old"), 0600);

    FileSystemCalls calls;
    calls.open = [](char const* path, int flags, mode_t mode) {
        g_opened.push_back(path);
        if (g_opened.size() <= 2) {
            errno = EEXIST;
            return -1;
        }
        return ::open(path, flags, mode);
    };
    calls.write = [](int fd, void const* data, std::size_t size) -> ssize_t {
        if (g_calls++ % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, data, std::min<std::size_t>(size, 777));
    };
    calls.fsync = [](int fd) {
        static bool interrupted = false;
        if (!interrupted) {
            interrupted = true;
            errno = EINTR;
            return -1;
        }
        return ::fsync(fd);
    };
    g_opened.clear();
    g_calls = 0;

    auto saved = forms::write_file_safely(name, payload(), calls);
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    EXPECT_EQ(read_bytes(name), payload());
    EXPECT_EQ(mode_of(name), mode_t(0600));
    EXPECT_EQ(names_in(scratch.root()), std::set<std::string> { "picture.bmp" });

    // Every temporary name lies in the file's own folder, so the rename can't
    // cross file systems, and each clash got a fresh name.
    ASSERT_EQ(g_opened.size(), 3u);
    for (auto const& opened : g_opened)
        EXPECT_EQ(fs::path(opened).parent_path().string(), scratch.root()) << opened;
    EXPECT_EQ(std::set<std::string>(g_opened.begin(), g_opened.end()).size(), 3u);
}

// --- SavePicture -----------------------------------------------------------------

std::uint32_t u32(Bytes const& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t u16(Bytes const& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

TEST(SavePicture, WritesA24BitBitmapOfThePixels)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    // Five pixels a row make 15 bytes, padded to 16.
    auto surface = std::make_shared<forms::Surface>(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            surface->set_pixel(x, y, { std::uint8_t(x * 40 + 1), std::uint8_t(y * 80 + 2), std::uint8_t(x * y + 3) });
    auto picture = forms::make_picture(surface);
    auto const name = scratch.path("board.bmp");

    auto saved = forms::SavePicture(picture, name);
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    auto file = read_bytes(name).value_or(Bytes {});
    ASSERT_EQ(file.size(), 54u + 16u * 3u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32(file, 2), file.size());
    EXPECT_EQ(u32(file, 10), 54u);
    EXPECT_EQ(u32(file, 14), 40u);
    EXPECT_EQ(std::int32_t(u32(file, 18)), 5);
    EXPECT_EQ(std::int32_t(u32(file, 22)), 3); // positive: bottom-up
    EXPECT_EQ(u16(file, 26), 1);
    EXPECT_EQ(u16(file, 28), 24);
    EXPECT_EQ(u32(file, 30), 0u);
    EXPECT_EQ(u32(file, 34), 16u * 3u);
    EXPECT_EQ(u32(file, 38), 3780u);
    EXPECT_EQ(u32(file, 42), 3780u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            auto at = 54u + std::size_t(2 - y) * 16u + std::size_t(x) * 3u;
            auto want = surface->pixel(x, y);
            EXPECT_EQ(file[at], want.b) << x << "," << y;
            EXPECT_EQ(file[at + 1], want.g) << x << "," << y;
            EXPECT_EQ(file[at + 2], want.r) << x << "," << y;
        }
    }
    auto decoded = forms::decode_bmp(file);
    ASSERT_FALSE(decoded.is_error());
    EXPECT_TRUE(decoded.value() == *surface);
}

TEST(SavePicture, AWholeClientAreaMakesAFileOfTheExpectedSize)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("client area");
    auto saved = forms::SavePicture(forms::make_picture(std::make_shared<forms::Surface>(600, 380)), name);
    ASSERT_FALSE(saved.is_error()) << saved.error().description;
    struct stat status {};
    ASSERT_EQ(::stat(name.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 54 + 1800 * 380);
}

TEST(SavePicture, RefusesAPictureWithoutPixels)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("none.bmp");

    auto deleted = forms::make_picture(std::make_shared<forms::Surface>(4, 4));
    forms::delete_object(deleted->Handle());

    std::pair<char const*, forms::PictureRef> const cases[] = {
        { "no picture", nullptr },
        { "no bitmap", std::make_shared<forms::Picture>(0, 0, false) },
        { "a deleted bitmap", deleted },
        { "no pixels", forms::make_picture(std::make_shared<forms::Surface>()) },
    };
    for (auto const& [label, picture] : cases) {
        auto saved = forms::SavePicture(picture, name);
        ASSERT_TRUE(saved.is_error()) << label;
        EXPECT_EQ(saved.error().number, errors::invalid_picture) << label;
        EXPECT_EQ(saved.error().description, "Invalid picture") << label;
    }
    EXPECT_TRUE(names_in(scratch.root()).empty());
}

TEST(SavePicture, FailsOnAReadOnlyFileAndLeavesIt)
{
    Scratch scratch;
    ASSERT_TRUE(scratch.valid());
    auto const name = scratch.path("kept.bmp");
    put_bytes(name, text_bytes("old"), 0444);

    auto saved = forms::SavePicture(forms::make_picture(std::make_shared<forms::Surface>(2, 2)), name);
    ASSERT_TRUE(saved.is_error());
    EXPECT_EQ(saved.error().number, errors::permission_denied);
    EXPECT_EQ(saved.error().description, "Can't save \"" + name + "\": the file is read-only.");
    EXPECT_EQ(read_bytes(name), text_bytes("old"));
    EXPECT_EQ(names_in(scratch.root()), std::set<std::string> { "kept.bmp" });
}

}
