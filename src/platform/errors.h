// The application's error kinds. Every error carries a message; callers catch them by kind.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace dv {

// The general error type every kind derives from.
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);

    const std::u16string& Message() const noexcept { return message_; }
    // The kind's name as it appears in error-log lines ("EOSError", ...).
    virtual const char16_t* KindName() const noexcept { return u"Exception"; }
    // UTF-8 form of the message, for std::exception users.
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::u16string message_;
    std::string what_;
};

#define DV_DECLARE_ERROR_KIND(Kind)                                              \
    class Kind : public Exception {                                              \
    public:                                                                      \
        using Exception::Exception;                                              \
        const char16_t* KindName() const noexcept override { return u## #Kind; } \
    }

DV_DECLARE_ERROR_KIND(EFCreateError);      // a file cannot be created or replaced
DV_DECLARE_ERROR_KIND(EFOpenError);        // a file cannot be opened
DV_DECLARE_ERROR_KIND(EInOutError);        // a folder cannot be created
DV_DECLARE_ERROR_KIND(EIniFileException);  // a settings write failed
DV_DECLARE_ERROR_KIND(EConvertError);      // a text is no number
DV_DECLARE_ERROR_KIND(EStringListError);   // a line index is out of range
DV_DECLARE_ERROR_KIND(EIniPersist);        // a persisted property of an unsupported kind

#undef DV_DECLARE_ERROR_KIND

// A failed system or network-management call, with the system's error code (0 when none is known).
class EOSError : public Exception {
public:
    EOSError(std::u16string message, std::uint32_t errorCode);
    const char16_t* KindName() const noexcept override { return u"EOSError"; }
    std::uint32_t ErrorCode() const noexcept { return errorCode_; }

private:
    std::uint32_t errorCode_;
};

}  // namespace dv
