#include "platform/files.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace dv::fs {
namespace {

std::u16string PartialTwinOf(std::u16string_view path) {
    return std::u16string(path) + u".dvpart";
}

bool IsMissing(std::uint32_t code) {
    return code == kFileNotFound || code == kPathNotFound;
}

}  // namespace

std::u16string CompleteTwinOf(std::u16string_view path) {
    return std::u16string(path) + u".dvnew";
}

std::u16string CannotCreateMessage(std::u16string_view path, std::uint32_t code) {
    return u"Cannot create file \"" + std::u16string(path) + u"\". " + SystemErrorText(code);
}

std::u16string CannotOpenMessage(std::u16string_view path, std::uint32_t code) {
    return u"Cannot open file \"" + std::u16string(path) + u"\". " + SystemErrorText(code);
}

std::optional<std::string> ReadReplaceableFile(std::u16string_view path, std::size_t maxBytes) {
    const auto openError = [maxBytes](std::u16string_view file, std::uint32_t code) {
        if (code != kFileTooLarge) return EFOpenError(CannotOpenMessage(file, code));
        return EFOpenError(u"Cannot open file \"" + std::u16string(file) + u"\". It holds more than " +
                           IntToStr(static_cast<std::int64_t>(maxBytes)) + u" bytes.");
    };
    std::string bytes;
    Status status = ReadWholeFile(path, bytes, maxBytes);
    if (status.ok()) return bytes;
    if (!IsMissing(status.code)) throw openError(path, status.code);

    const std::u16string twin = CompleteTwinOf(path);
    status = ReadWholeFile(twin, bytes, maxBytes);
    if (status.ok()) return bytes;
    if (!IsMissing(status.code)) throw openError(twin, status.code);
    return std::nullopt;
}

void ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    const std::u16string partial = PartialTwinOf(path);
    const std::u16string twin = CompleteTwinOf(path);

    Status status = WriteNewFile(partial, bytes);
    if (status.ok()) status = MoveFileReplacing(partial, twin);
    if (!status.ok()) {
        (void)RemoveFile(partial);
        throw EFCreateError(CannotCreateMessage(path, status.code));
    }
    status = MoveFileReplacing(twin, path);
    if (!status.ok()) {
        // The old file is still in place: the twin must not stand in for it later.
        if (FileExists(path)) (void)RemoveFile(twin);
        throw EFCreateError(CannotCreateMessage(path, status.code));
    }
}

bool DeleteReplaceableFile(std::u16string_view path) {
    (void)RemoveFile(CompleteTwinOf(path));
    return RemoveFile(path).ok();
}

std::optional<TextLines> ReadTextFile(std::u16string_view path, std::size_t maxBytes) {
    const std::optional<std::string> bytes = ReadReplaceableFile(path, maxBytes);
    if (!bytes) return std::nullopt;
    FileText text = DecodeTextFile(*bytes);
    if (!text.whole) {
        // Half a character at the end: writing the text back would lose that byte.
        throw EFOpenError(u"Cannot open file \"" + std::u16string(path) +
                          u"\". Its byte-order mark says UTF-16, but it holds an odd number of bytes.");
    }
    return TextLines{SplitLines(text.text), text.encoding};
}

std::optional<std::vector<std::u16string>> ReadTextLines(std::u16string_view path) {
    std::optional<TextLines> text = ReadTextFile(path);
    if (!text) return std::nullopt;
    return std::move(text->lines);
}

std::string EncodeTextLines(const std::vector<std::u16string>& lines, TextEncoding encoding) {
    return EncodeTextFile(JoinLines(lines), encoding);
}

}  // namespace dv::fs
