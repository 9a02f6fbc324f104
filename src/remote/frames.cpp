#include "remote/frames.h"

#include <algorithm>

namespace dv::remote {

std::optional<std::string> Frame(std::string_view payload) {
    if (payload.size() > kMaxPayloadBytes) return std::nullopt;
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string frame;
    frame.reserve(kFrameHeaderBytes + payload.size());
    for (std::size_t i = 0; i < kFrameHeaderBytes; ++i) frame.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    frame.append(payload);
    return frame;
}

bool TFrameReader::Feed(std::string_view bytes, std::vector<std::string>& frames) {
    while (!broken_ && !bytes.empty()) {
        if (pending_.size() < kFrameHeaderBytes) {
            const std::size_t take = std::min(kFrameHeaderBytes - pending_.size(), bytes.size());
            pending_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (pending_.size() < kFrameHeaderBytes) break;
        }
        std::uint32_t length = 0;
        for (std::size_t i = 0; i < kFrameHeaderBytes; ++i) {
            length |= static_cast<std::uint32_t>(static_cast<unsigned char>(pending_[i])) << (8 * i);
        }
        // Refused before a byte of it is kept: the bound is what keeps a peer from making the reader
        // hold more than one message.
        if (length > kMaxPayloadBytes) {
            broken_ = true;
            pending_.clear();
            break;
        }
        const std::size_t have = pending_.size() - kFrameHeaderBytes;
        const std::size_t take = std::min<std::size_t>(length - have, bytes.size());
        pending_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (pending_.size() - kFrameHeaderBytes < length) break;
        frames.push_back(pending_.substr(kFrameHeaderBytes));
        pending_.clear();
    }
    return !broken_;
}

}  // namespace dv::remote
