// What an instrument sends back: a reply is a stream of bytes produced on
// demand (an I/Q block of 134 MB is never held in memory), followed by what
// the connection does when the stream is through.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace kalsim {

using Clock = std::chrono::steady_clock;

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
    // When the next bytes may go out.  A time still to come holds the
    // connection's output until then (a trigger that has not come yet, a
    // sender kept to its rate); next() is only called once it has passed.
    virtual Clock::time_point readyAt() const { return {}; }
};

class TextStream : public Stream {
public:
    explicit TextStream(std::string text) : text_(std::move(text)) {}
    size_t next(char *dst, size_t max) override;

private:
    std::string text_;
    size_t pos_ = 0;
};

// Holds inner back until start, then lets it out at no more than
// bytesPerSec (0: as fast as the connection takes it).
std::unique_ptr<Stream> pace(std::unique_ptr<Stream> inner, Clock::time_point start, double bytesPerSec);

}  // namespace kalsim
