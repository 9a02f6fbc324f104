#include "platform/files.h"

#include <utility>

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

bool IsDriveGoneCode(std::uint32_t code) {
    switch (code) {
        case 15:    // ERROR_INVALID_DRIVE
        case 20:    // ERROR_BAD_UNIT
        case 21:    // ERROR_NOT_READY (also a dismounted volume)
        case 31:    // ERROR_GEN_FAILURE
        case 34:    // ERROR_WRONG_DISK
        case 53:    // ERROR_BAD_NETPATH
        case 55:    // ERROR_DEV_NOT_EXIST
        case 64:    // ERROR_NETNAME_DELETED
        case 433:   // ERROR_NO_SUCH_DEVICE
        case 1005:  // ERROR_UNRECOGNIZED_VOLUME
        case 1006:  // ERROR_FILE_INVALID (the volume went away under an open file)
        case 1110:  // ERROR_MEDIA_CHANGED
        case 1112:  // ERROR_NO_MEDIA_IN_DRIVE
        case 1117:  // ERROR_IO_DEVICE
        case 1167:  // ERROR_DEVICE_NOT_CONNECTED
        case 1617:  // ERROR_DEVICE_REMOVED
        case 4319:  // ERROR_DEVICE_NOT_AVAILABLE
            return true;
        default: return false;
    }
}

std::u16string CompleteTwinOf(std::u16string_view path) {
    return std::u16string(path) + u".dvnew";
}

std::u16string CannotCreateMessage(std::u16string_view path, std::uint32_t code) {
    return u"Cannot create file \"" + std::u16string(path) + u"\". " + SystemErrorText(code);
}

std::u16string CannotOpenMessage(std::u16string_view path, std::uint32_t code) {
    return u"Cannot open file \"" + std::u16string(path) + u"\". " + SystemErrorText(code);
}

ReplaceableFileRead TryReadReplaceableFile(std::u16string_view path, std::size_t maxBytes) {
    ReplaceableFileRead read;
    std::string bytes;
    read.status = ReadWholeFile(path, bytes, maxBytes);
    if (read.status.ok()) {
        read.bytes = std::move(bytes);
        return read;
    }
    if (!IsMissing(read.status.Code)) {
        read.failedPath = std::u16string(path);
        return read;
    }
    const std::u16string twin = CompleteTwinOf(path);
    read.status = ReadWholeFile(twin, bytes, maxBytes);
    if (read.status.ok()) {
        read.bytes = std::move(bytes);
    } else if (IsMissing(read.status.Code)) {
        read.status = TOsStatus{};
    } else {
        read.failedPath = twin;
    }
    return read;
}

std::optional<std::string> ReadReplaceableFile(std::u16string_view path, std::size_t maxBytes) {
    ReplaceableFileRead read = TryReadReplaceableFile(path, maxBytes);
    if (read.status.ok()) return std::move(read.bytes);
    if (read.status.Code != kFileTooLarge) throw EFOpenError(CannotOpenMessage(read.failedPath, read.status.Code));
    throw EFOpenError(u"Cannot open file \"" + read.failedPath + u"\". It holds more than " +
                      IntToStr(static_cast<std::int64_t>(maxBytes)) + u" bytes.");
}

void ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    const std::u16string partial = PartialTwinOf(path);
    const std::u16string twin = CompleteTwinOf(path);
    const auto fail = [&](std::uint32_t code) {
        (void)RemoveFile(partial);
        // While the old file is in place, a twin beside it would stand in for it once it is moved
        // away or deleted.
        if (FileExists(path)) (void)RemoveFile(twin);
        throw EFCreateError(CannotCreateMessage(path, code));
    };

    // The attributes come from the file, or from the twin that a crash left in its place.
    std::u16string attributesFrom(path);
    std::optional<std::uint32_t> attributes = ReadFileAttributes(path);
    if (!attributes) {
        attributesFrom = twin;
        attributes = ReadFileAttributes(twin);
    }
    if (attributes && (*attributes & kDirectoryAttribute)) attributes.reset();
    // A read-only file is one that cannot be written: it is never replaced behind its back.
    if (attributes && (*attributes & kReadOnlyAttribute)) fail(kAccessDenied);

    // A partial file that a crash left may be hidden or system, which a new write would be refused on.
    (void)RemoveFile(partial);
    TOsStatus status = WriteNewFile(partial, bytes);
    if (status.ok() && attributes) status = CopyKeptAttributes(attributesFrom, partial);
    if (status.ok()) status = MoveFileReplacing(partial, twin);
    if (status.ok()) status = MoveFileReplacing(twin, path);
    if (!status.ok()) fail(status.Code);
}

bool DeleteReplaceableFile(std::u16string_view path) {
    (void)RemoveFile(CompleteTwinOf(path));
    return RemoveFile(path).ok();
}

bool ReplaceableFileExists(std::u16string_view path) {
    return FileExists(path) || FileExists(CompleteTwinOf(path));
}

TOsStatus MoveReplaceableFile(std::u16string_view from, std::u16string_view to) {
    const std::u16string twin = CompleteTwinOf(from);
    const bool fileItself = FileExists(from);
    const TOsStatus moved = MoveFileTo(fileItself ? std::u16string(from) : twin, to);
    if (moved.ok() && fileItself) (void)RemoveFile(twin);
    return moved;
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
