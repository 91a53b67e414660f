#pragma once

#include <unistd.h>
#include <utility>

namespace forms {

// An open file descriptor, closed when its owner goes. close() is for where
// the outcome of closing matters; the destructor ignores it.
class FileDescriptor {
public:
    using Close = int (*)(int);

    FileDescriptor() = default;
    explicit FileDescriptor(int fd, Close close = ::close)
        : m_fd(fd)
        , m_close(close)
    {
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
        , m_close(other.m_close)
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
            m_close = other.m_close;
        }
        return *this;
    }
    FileDescriptor(FileDescriptor const&) = delete;
    FileDescriptor& operator=(FileDescriptor const&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return m_fd; }
    bool is_open() const { return m_fd >= 0; }

    // On Linux the descriptor is gone even when close reports a failure, so
    // it is given up either way. -1 and errno on failure.
    int close()
    {
        if (m_fd < 0)
            return 0;
        return m_close(std::exchange(m_fd, -1));
    }

    void reset() { (void)close(); }

private:
    int m_fd { -1 };
    Close m_close { ::close };
};

}
