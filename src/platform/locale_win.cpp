#include "platform/locale.h"
#include "platform/windows_include.h"

#include <cstddef>
#include <string>

namespace dv {
namespace {

char16_t UserLocaleChar(LCTYPE type, char16_t fallback) {
    wchar_t buffer[8] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 8) < 2) return fallback;
    return static_cast<char16_t>(buffer[0]);
}

}  // namespace

LocalDateTime LocalNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

char16_t TimeSeparator() {
    return UserLocaleChar(LOCALE_STIME, u':');
}

char16_t DecimalSeparator() {
    return UserLocaleChar(LOCALE_SDECIMAL, u'.');
}

std::u16string FormatWholeNumber(std::int64_t value) {
    const std::wstring digits = std::to_wstring(value);
    // The user's separators, passed explicitly: the grouping text "3" means "one group of three"
    // to GetNumberFormatEx, and some locale tables (Wine's among them) carry "3" where they mean
    // "3;0". NUMBERFMTW spells the repeating grouping 3 as 3 and the Indian "3;2;0" as 32.
    // https://learn.microsoft.com/windows/win32/intl/locale-sgrouping
    wchar_t grouping[16] = {};
    wchar_t thousand[8] = {};
    wchar_t decimal[8] = {};
    DWORD negativeOrder = 1;
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SGROUPING, grouping, 16);
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8) == 0) thousand[0] = L',';
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) == 0) decimal[0] = L'.';
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_INEGNUMBER | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<LPWSTR>(&negativeOrder), sizeof(negativeOrder) / sizeof(wchar_t));
    UINT groups = 0;
    std::wstring groupText(grouping);
    if (groupText.size() >= 2 && groupText.compare(groupText.size() - 2, 2, L";0") == 0) {
        groupText.resize(groupText.size() - 2);
    }
    for (wchar_t c : groupText) {
        if (c >= L'0' && c <= L'9') groups = groups * 10 + static_cast<UINT>(c - L'0');
    }
    if (groupText.empty()) groups = 3;

    NUMBERFMTW format{};
    format.NumDigits = 0;
    format.LeadingZero = 0;
    format.Grouping = groups;
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    format.NegativeOrder = negativeOrder;
    wchar_t out[64] = {};
    if (::GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, out, 64) == 0) {
        return FromWide(digits);
    }
    return FromWide(out);
}

std::u16string LocaleUpperCase(std::u16string_view text) {
    if (text.empty()) return {};
    std::wstring wide = ToWide(text);
    const int size = ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE, wide.c_str(),
                                     static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr, 0);
    if (size <= 0) return FromWide(wide);
    std::wstring upper(static_cast<std::size_t>(size), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                        upper.data(), size, nullptr, nullptr, 0) != size) {
        return FromWide(wide);
    }
    return FromWide(upper);
}

}  // namespace dv
