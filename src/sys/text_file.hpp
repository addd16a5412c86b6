#pragma once

#include <cstddef>

namespace Telmora {

// A text file read line by line through the OS seam, like fopen/fgets/fclose.
class TextFile {
public:
    explicit TextFile(const char* path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // Reads up to size-1 characters, stopping after a newline, and NUL-terminates.
    // False at end of file (nothing read) or on a read error, as fgets returns null.
    bool readLine(char* buf, size_t size);

private:
    bool fill();

    int fd_;
    char buf_[512];
    size_t pos_ = 0;
    size_t len_ = 0;
    bool error_ = false;
};

}  // namespace Telmora
