#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "files/disk_file_win32.h"
#include "files/log.h"

namespace {

// The account this process runs as; empty when the system does not say.
std::vector<BYTE> processUserSid() {
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

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) {
        return "an unknown account";
    }
    const std::string result = text;
    LocalFree(text);
    return result;
}

// The log is written only when the Administrators group (as the installer makes it), the
// system, or the account that runs the program owns it: a file another user made could be
// emptied, reworded or withdrawn by that user. Where the volume keeps no owners, the file is
// taken as it is.
bool ownerMayBeWritten(std::FILE* file, std::string& owner) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    PSID ownerSid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerSid, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    const std::unique_ptr<void, decltype(&LocalFree)> freed(descriptor, LocalFree);
    if (ownerSid == nullptr || IsWellKnownSid(ownerSid, WinBuiltinAdministratorsSid) ||
        IsWellKnownSid(ownerSid, WinLocalSystemSid)) {
        return true;
    }
    std::vector<BYTE> user = processUserSid();
    if (!user.empty() && EqualSid(ownerSid, user.data())) {
        return true;
    }
    owner = sidText(ownerSid);
    return false;
}

}  // namespace

std::FILE* OpenSharedLog(const std::string& path, std::string& refusal) {
    std::FILE* file = OpenDiskFile(path, "a");
    std::string owner;
    if (file != nullptr && !ownerMayBeWritten(file, owner)) {
        std::fclose(file);
        refusal = path + " belongs to another user (" + owner +
                  "): nothing is written to it; the log must belong to the Administrators group";
        return nullptr;
    }
    return file;
}
