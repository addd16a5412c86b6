#include "sys/text_file.hpp"

#include <fcntl.h>

#include <cerrno>

#include "sys/sys.hpp"

namespace Telmora {

TextFile::TextFile(const char* path) : fd_(sys::open(path, O_RDONLY)) {}

TextFile::~TextFile()
{
    if (fd_ >= 0) sys::close(fd_);
}

bool TextFile::fill()
{
    for (;;) {
        ssize_t n = sys::read(fd_, buf_, sizeof buf_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error_ = true;
        pos_ = 0;
        len_ = n > 0 ? static_cast<size_t>(n) : 0;
        return n > 0;
    }
}

bool TextFile::readLine(char* out, size_t size)
{
    if (fd_ < 0 || size == 0 || error_) return false;
    size_t n = 0;
    while (n + 1 < size) {
        if (pos_ == len_ && !fill()) break;
        char c = buf_[pos_++];
        out[n++] = c;
        if (c == '\n') break;
    }
    out[n] = '\0';
    return n > 0 && !error_;
}

}  // namespace Telmora
