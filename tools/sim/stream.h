// What an instrument sends back: a reply is a stream of bytes produced on
// demand (an I/Q block of 134 MB is never held in memory), followed by what
// the connection does when the stream is through.
#pragma once

#include <cstddef>
#include <string>

namespace kalsim {

enum class AfterStream {
    Continue,  // the connection goes on normally
    Drop,      // the connection is closed (lost connection in mid-block)
};

class Stream {
public:
    virtual ~Stream() = default;
    // Writes at most max bytes to dst; 0 means the stream is through.
    virtual size_t next(char *dst, size_t max) = 0;
    virtual AfterStream after() const { return AfterStream::Continue; }
};

class TextStream : public Stream {
public:
    explicit TextStream(std::string text) : text_(std::move(text)) {}
    size_t next(char *dst, size_t max) override;

private:
    std::string text_;
    size_t pos_ = 0;
};

}  // namespace kalsim
