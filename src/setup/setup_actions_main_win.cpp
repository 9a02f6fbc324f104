// DockvaneSetup.dll: the custom action of the installer package that asks, in an uninstall with a user
// interface, whether Dockvane's share accounts and its drives' shares go too. The package carries it
// without installing it; a silent uninstall never calls it and takes the property REMOVEACCOUNTS as
// given.
#include "platform/windows_include.h"

#include <msi.h>
#include <msiquery.h>

namespace {

constexpr wchar_t kQuestion[] =
    L"Also remove the share accounts that Dockvane made (dockvane and the extdisk_ accounts) and the "
    L"network shares of the plugged-in drives that Dockvane shared?\n\n"
    L"Accounts and shares that Dockvane did not make stay either way.";

}  // namespace

// The message goes through the installer's own user interface, which shows it only when there is one
// and answers 0 otherwise: the property then stays as it was.
extern "C" __declspec(dllexport) UINT __stdcall AskRemoveAccounts(MSIHANDLE install) {
    const MSIHANDLE record = ::MsiCreateRecord(0);
    if (!record) return ERROR_SUCCESS;
    ::MsiRecordSetStringW(record, 0, kQuestion);
    const int answer = ::MsiProcessMessage(
        install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_USER | MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), record);
    ::MsiCloseHandle(record);
    if (answer == IDYES) ::MsiSetPropertyW(install, L"REMOVEACCOUNTS", L"1");
    return ERROR_SUCCESS;
}
