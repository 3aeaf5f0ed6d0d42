// Windows' own verdict on a signed file: WinVerifyTrust with the Authenticode policy,
// as Explorer and SmartScreen ask it, revocation unchecked and no window shown.
#ifndef VELMOR_TEST_VERIFY_TRUST_H
#define VELMOR_TEST_VERIFY_TRUST_H

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>
#include <string>

namespace velmor::test {

// The result WinVerifyTrust gives for the file at path.
inline LONG VerifyTrust(const std::wstring &path)
{
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

} // namespace velmor::test

#endif
