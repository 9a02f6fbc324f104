#include "platform/errors.h"

#include <utility>

#include "platform/text.h"

namespace dv {

Exception::Exception(std::u16string message) : message_(std::move(message)), what_(ToUtf8(message_)) {}

EOSError::EOSError(std::u16string message, std::uint32_t errorCode)
    : Exception(std::move(message)), errorCode_(errorCode) {}

}  // namespace dv
