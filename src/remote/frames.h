// The pipe's framing: each message is a 4-byte little-endian length, then that many bytes of payload.
// A reader is fed whatever a read brought, a byte or many frames at once, and hands out the frames
// that are complete; half a frame waits in it for the rest, so a peer that stops in the middle of a
// message holds up nothing but its own connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv::remote {

inline constexpr std::size_t kFrameHeaderBytes = 4;
// The longest payload either side sends or takes.
inline constexpr std::size_t kMaxPayloadBytes = 64 * 1024;

// The frame of a payload; nothing for one longer than kMaxPayloadBytes.
std::optional<std::string> Frame(std::string_view payload);

class TFrameReader {
public:
    // Takes the bytes that arrived and appends each frame they complete to `frames`, in order. False
    // once a frame announces a payload over kMaxPayloadBytes: the stream can no longer be followed,
    // the connection is to be closed, and every later call gives false too.
    bool Feed(std::string_view bytes, std::vector<std::string>& frames);

    bool Broken() const { return broken_; }
    // Bytes of a frame begun and not yet complete (never more than a header and a bound payload).
    std::size_t Pending() const { return pending_.size(); }

private:
    std::string pending_;
    bool broken_ = false;
};

}  // namespace dv::remote
