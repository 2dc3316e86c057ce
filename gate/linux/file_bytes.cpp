#include "file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace kestrel {

struct SharedBytes::Block {
    std::size_t references;
    std::size_t size;
    std::uint8_t* data;
};

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads to the end of the file, growing the buffer as needed; false when a
// read fails, memory runs out or the file holds more than `limit` bytes.
bool ReadAll(int fd, std::size_t sizeHint, std::size_t limit, std::uint8_t*& data, std::size_t& size)
{
    // One byte more than expected, to see the end without another block.
    std::size_t capacity = (sizeHint > 0 && sizeHint <= limit ? sizeHint : 4096) + 1;
    data = static_cast<std::uint8_t*>(std::malloc(capacity));
    size = 0;
    if (!data) return false;
    for (;;) {
        if (size == capacity) {
            if (capacity > limit) return false;
            const std::size_t grown = capacity > limit / 2 ? limit + 1 : capacity * 2;
            auto* bigger = static_cast<std::uint8_t*>(std::realloc(data, grown));
            if (!bigger) return false;
            data = bigger;
            capacity = grown;
        }
        const ssize_t got = ::read(fd, data + size, capacity - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return size <= limit;
        size += static_cast<std::size_t>(got);
    }
}

}  // namespace

SharedBytes::SharedBytes(const SharedBytes& other) noexcept : block_(other.block_)
{
    if (block_) ++block_->references;
}

SharedBytes& SharedBytes::operator=(SharedBytes other) noexcept
{
    std::swap(block_, other.block_);
    return *this;
}

SharedBytes::~SharedBytes()
{
    if (block_ && --block_->references == 0) {
        std::free(block_->data);
        std::free(block_);
    }
}

std::span<const std::uint8_t> SharedBytes::bytes() const
{
    if (!block_) return {};
    return {block_->data, block_->size};
}

SharedBytes SharedBytes::ReadRegularFile(const char* path, std::size_t limit) noexcept
{
    // Non-blocking, so that opening a FIFO returns at once; it is then
    // refused as not a regular file.
    const Descriptor fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return {};
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    if (status.st_size < 0 || static_cast<unsigned long long>(status.st_size) > limit) return {};

    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!ReadAll(fd.get(), static_cast<std::size_t>(status.st_size), limit, data, size)) {
        std::free(data);
        return {};
    }
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
    if (!block) {
        std::free(data);
        return {};
    }
    *block = Block{1, size, data};
    return SharedBytes(block);
}

bool PathIsAbsent(const char* path) noexcept
{
    struct stat status {};
    return ::lstat(path, &status) != 0 && errno == ENOENT;
}

}  // namespace kestrel
