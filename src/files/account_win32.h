#pragma once
// Windows only: the account the program runs as.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

// The account's security identifier; empty when the system does not say.
inline std::vector<BYTE> ProcessUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    const bool read =
        size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) != 0;
    CloseHandle(token);
    if (!read) {
        return {};
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* start = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(start, start + GetLengthSid(sid));
}

inline std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) {
        return "an unknown account";
    }
    const std::string result = text;
    LocalFree(text);
    return result;
}

// The owner is this user, the Administrators group or the system; or the volume keeps none.
inline bool OwnedHere(const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    const std::unique_ptr<void, decltype(&LocalFree)> freed(descriptor, LocalFree);
    if (owner == nullptr || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        IsWellKnownSid(owner, WinLocalSystemSid)) {
        return true;
    }
    const std::vector<BYTE> user = ProcessUserSid();
    return user.empty() || EqualSid(owner, const_cast<BYTE*>(user.data())) != 0;
}
