// The pipe between the engine and the faces: the input taken as one payload (what the decoder sees
// most often), and as a stream of frames that arrives in pieces. Whatever decodes is within its
// bounds, encodes, and decodes from that encoding to the same message and the same bytes again;
// whatever does not can still be answered.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "remote/access.h"
#include "remote/frames.h"
#include "remote/protocol.h"

namespace {

using namespace dv::remote;

void CheckPayload(std::string_view payload) {
    for (const TReader reader : {TReader::Engine, TReader::Face}) {
        const TDecoded decoded = Decode(payload, reader);
        if (!decoded.Message) {
            const std::optional<std::string> reply = Encode(ErrorReply(decoded));
            FUZZ_CHECK(reply);
            FUZZ_CHECK(Decode(*reply, TReader::Face).Message);
            continue;
        }
        const TMessage& message = *decoded.Message;
        FUZZ_CHECK(message.Id == decoded.Id);
        FUZZ_CHECK((DirectionOf(message.Kind()) == TDirection::Request) == (reader == TReader::Engine));
        FUZZ_CHECK(!FieldProblem(message.Body));
        const std::optional<std::string> encoded = Encode(message);
        FUZZ_CHECK(encoded);
        // The written form is never longer than any form that reads as the same message.
        FUZZ_CHECK(encoded->size() <= payload.size());
        const TDecoded again = Decode(*encoded, reader);
        FUZZ_CHECK(again.Message && *again.Message == message);
        FUZZ_CHECK(Encode(*again.Message) == encoded);
        // Nobody from outside may send what only the engine sends.
        if (reader == TReader::Face)
            FUZZ_CHECK(DecideAccess({true, true, true, false}, message.Kind()) == TAccess::Refused);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckPayload(bytes);

    // The same bytes as a stream: all at once, and in pieces whose sizes the bytes themselves choose.
    TFrameReader whole;
    std::vector<std::string> frames;
    const bool wholeOk = whole.Feed(bytes, frames);
    TFrameReader pieces;
    std::vector<std::string> framesInPieces;
    bool piecesOk = true;
    for (std::size_t at = 0, step = 0; at < size; ++step) {
        const std::size_t piece = 1 + static_cast<unsigned char>(bytes[step % size]) % 17;
        piecesOk = pieces.Feed(bytes.substr(at, piece), framesInPieces) && piecesOk;
        at += piece;
    }
    FUZZ_CHECK(wholeOk == piecesOk && frames == framesInPieces && whole.Pending() == pieces.Pending());
    FUZZ_CHECK(whole.Pending() <= kFrameHeaderBytes + kMaxPayloadBytes);
    for (const std::string& frame : frames) {
        FUZZ_CHECK(frame.size() <= kMaxPayloadBytes);
        CheckPayload(frame);
    }
    return 0;
}
