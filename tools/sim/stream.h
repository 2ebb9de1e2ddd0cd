// What an instrument sends back: a reply is a stream of bytes that lie ready
// in memory piece by piece, followed by what the connection does when the
// stream is through.  An I/Q block of 134 MB is never held whole: its pieces
// are views into the signal prepared for the setting, so the connection
// writes them to the socket without copying them first.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kalsim {

using Clock = std::chrono::steady_clock;

enum class AfterStream {
    Continue,  // the connection goes on normally
    Drop,      // the connection is closed (lost connection in mid-block)
};

class Stream {
public:
    virtual ~Stream() = default;
    // The next bytes, at most max, without taking them; they stay valid
    // until the next call.  Empty means the stream is through.
    virtual std::string_view peek(size_t max) = 0;
    // Takes the first n bytes of the last peek.
    virtual void advance(size_t n) = 0;
    virtual AfterStream after() const { return AfterStream::Continue; }
    // When the next bytes may go out.  A time still to come holds the
    // connection's output until then (a trigger that has not come yet, a
    // sender kept to its rate); peek() is only called once it has passed.
    virtual Clock::time_point readyAt() const { return {}; }
};

class TextStream : public Stream {
public:
    explicit TextStream(std::string text) : text_(std::move(text)) {}
    std::string_view peek(size_t max) override;
    void advance(size_t n) override { pos_ += n; }

private:
    std::string text_;
    size_t pos_ = 0;
};

// Holds inner back until start, then lets it out at no more than
// bytesPerSec (0: as fast as the connection takes it).
std::unique_ptr<Stream> pace(std::unique_ptr<Stream> inner, Clock::time_point start, double bytesPerSec);

}  // namespace kalsim
