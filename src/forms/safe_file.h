#pragma once

#include "error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

namespace forms {

// The system calls that write_file_safely makes to put the bytes down. Tests
// swap single ones to fail at a chosen point, since a failing sync or rename
// can't be provoked from outside. Each reports failure the POSIX way, -1 and
// errno.
struct FileSystemCalls {
    int (*open)(char const* path, int flags, mode_t mode) = default_open;
    ssize_t (*write)(int fd, void const* data, std::size_t size) = default_write;
    int (*fsync)(int fd) = default_fsync;
    int (*close)(int fd) = default_close;
    int (*rename)(char const* from, char const* to) = default_rename;
    int (*unlink)(char const* path) = default_unlink;

    static int default_open(char const* path, int flags, mode_t mode);
    static ssize_t default_write(int fd, void const* data, std::size_t size);
    static int default_fsync(int fd);
    static int default_close(int fd);
    static int default_rename(char const* from, char const* to);
    static int default_unlink(char const* path);
};

// Writes `bytes` as the whole content of the file `path`, or fails and leaves
// whatever was there before untouched.
//
// The bytes go to a new temporary file in the same folder, which is synced and
// then renamed over the name, so the name never shows a half-written file.
// Temporaries that killed saves left in that folder are removed on the way
// (TemporaryNames::remove_stale says which). An existing file keeps its
// permission bits (and, when running as root, its owner); a new one gets 0666
// less the umask. A symbolic link is written
// through to the file it names, dangling or not, and stays a link.
//
// Refused: a name that is not a regular file (folder, FIFO, socket, device);
// an existing file that is read-only, meaning that no write bit is set in its
// mode at all, or that the effective user may not write it; an immutable or
// append-only file. Root passes any permission test, so the first rule is what
// stops root from replacing a read-only file.
//
// A failure is a run-time error whose text names the file as given and says
// why in plain words.
ErrorOr<void> write_file_safely(std::string const& path, std::span<std::uint8_t const> bytes,
    FileSystemCalls const& calls = {});

}
