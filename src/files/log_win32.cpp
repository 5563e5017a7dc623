#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "files/account_win32.h"
#include "files/disk_file_win32.h"
#include "files/log.h"

namespace {

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
    std::vector<BYTE> user = ProcessUserSid();
    if (!user.empty() && EqualSid(ownerSid, user.data())) {
        return true;
    }
    owner = SidText(ownerSid);
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
