#include "remote/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace dv::remote {
namespace {

using namespace std::string_literals;

TEST(PipeFrames, APayloadGoesBehindItsLengthInFourLittleEndianBytes) {
    EXPECT_EQ(Frame("hello"), "\x05\0\0\0hello"s);
    EXPECT_EQ(Frame(""), "\0\0\0\0"s);
    EXPECT_EQ(Frame(std::string(0x1234, 'x'))->substr(0, 4), "\x34\x12\0\0"s);
    EXPECT_EQ(Frame(std::string(kMaxPayloadBytes, 'x'))->substr(0, 4), "\0\0\x01\0"s);
    EXPECT_FALSE(Frame(std::string(kMaxPayloadBytes + 1, 'x')));
}

// Frames of every size that matters: empty, one byte, bytes that look like a header, the longest.
std::vector<std::string> Payloads() {
    return {R"({"version":1,"kind":"get-status","id":1})",
            "",
            "x",
            "\xFF\xFF\xFF\xFF\0\0\0\0"s,
            std::string(kMaxPayloadBytes, '\x7F'),
            R"({"version":1,"kind":"eject-drive","id":2,"letter":"E"})"};
}

std::string Stream(const std::vector<std::string>& payloads) {
    std::string stream;
    for (const std::string& payload : payloads) stream += Frame(payload).value();
    return stream;
}

// The frames a reader hands out when the stream arrives in pieces of the given sizes (the last piece
// takes the rest).
std::vector<std::string> Read(std::string_view stream, const std::vector<std::size_t>& pieces) {
    TFrameReader reader;
    std::vector<std::string> frames;
    std::size_t at = 0;
    for (const std::size_t size : pieces) {
        EXPECT_TRUE(reader.Feed(stream.substr(at, size), frames));
        at = std::min(stream.size(), at + size);
    }
    EXPECT_TRUE(reader.Feed(stream.substr(at), frames));
    EXPECT_EQ(reader.Pending(), 0u);
    return frames;
}

TEST(PipeFrames, TheSameFramesComeOutHoweverTheBytesArrive) {
    const std::vector<std::string> payloads = Payloads();
    const std::string stream = Stream(payloads);

    EXPECT_EQ(Read(stream, {}), payloads) << "at once";
    EXPECT_EQ(Read(stream, std::vector<std::size_t>(stream.size(), 1)), payloads) << "byte by byte";
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 random(seed);
        std::vector<std::size_t> pieces;
        for (std::size_t total = 0; total < stream.size();) {
            // Mostly small pieces, now and then one larger than a whole frame.
            const std::size_t size = random() % 8 == 0 ? random() % (2 * kMaxPayloadBytes) : random() % 9;
            pieces.push_back(size);
            total += size;
        }
        EXPECT_EQ(Read(stream, pieces), payloads) << "random pieces, seed " << seed;
    }
}

TEST(PipeFrames, HalfAMessageWaitsForTheRest) {
    const std::string frame = Frame("{\"version\":1}").value();
    TFrameReader reader;
    std::vector<std::string> frames;
    for (const std::size_t cut : {std::size_t{2}, std::size_t{4}, frame.size() - 1}) {
        ASSERT_TRUE(reader.Feed(frame.substr(reader.Pending(), cut - reader.Pending()), frames));
        EXPECT_TRUE(frames.empty()) << cut;
        EXPECT_EQ(reader.Pending(), cut);
    }
    ASSERT_TRUE(reader.Feed(frame.substr(frame.size() - 1), frames));
    EXPECT_EQ(frames, std::vector<std::string>{"{\"version\":1}"});
    EXPECT_EQ(reader.Pending(), 0u);
}

TEST(PipeFrames, ALengthOverTheBoundEndsTheStreamAtOnce) {
    const struct {
        const char* what;
        std::string header;
    } cases[] = {
        {"one byte over", "\x01\0\x01\0"s},
        {"the largest length", "\xFF\xFF\xFF\xFF"s},
        {"2^31", "\0\0\0\x80"s},
    };
    for (const auto& c : cases) {
        for (const bool byteByByte : {false, true}) {
            TFrameReader reader;
            std::vector<std::string> frames;
            // The frame before it still counts; nothing of the announced payload is waited for.
            const std::string stream = Frame("before").value() + c.header + "after";
            bool ok = true;
            if (byteByByte) {
                for (const char byte : stream) ok = reader.Feed(std::string_view(&byte, 1), frames) && ok;
            } else {
                ok = reader.Feed(stream, frames);
            }
            EXPECT_FALSE(ok) << c.what;
            EXPECT_TRUE(reader.Broken()) << c.what;
            EXPECT_EQ(frames, std::vector<std::string>{"before"}) << c.what;
            EXPECT_EQ(reader.Pending(), 0u) << c.what;
            // A broken stream stays broken: what follows cannot be told from the payload it announced.
            EXPECT_FALSE(reader.Feed(Frame("next").value(), frames)) << c.what;
            EXPECT_EQ(frames.size(), 1u) << c.what;
        }
    }
}

TEST(PipeFrames, AReaderNeverHoldsMoreThanOneFrame) {
    TFrameReader reader;
    std::vector<std::string> frames;
    const std::string frame = Frame(std::string(kMaxPayloadBytes, 'p')).value();
    ASSERT_TRUE(reader.Feed(std::string_view(frame).substr(0, frame.size() - 1), frames));
    EXPECT_EQ(reader.Pending(), kFrameHeaderBytes + kMaxPayloadBytes - 1);
    ASSERT_TRUE(reader.Feed(frame.substr(frame.size() - 1) + frame.substr(0, 3), frames));
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(reader.Pending(), 3u);
}

}  // namespace
}  // namespace dv::remote
