#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <memory>

#include "files/account_win32.h"
#include "files/disk_file_win32.h"
#include "files/private_files.h"

namespace {

using Descriptor = std::unique_ptr<void, decltype(&LocalFree)>;

// An access list that grants this user full control and nobody else anything, inherited by
// what a folder holds. Null when the account cannot be told.
Descriptor ownerOnly() {
    const std::vector<BYTE> user = ProcessUserSid();
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!user.empty()) {
        const std::string sddl = "D:P(A;OICI;FA;;;" + SidText(const_cast<BYTE*>(user.data())) + ")";
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &made,
                                                             nullptr);
    }
    return Descriptor(made, LocalFree);
}

bool restrictToUser(HANDLE handle) {
    const Descriptor descriptor = ownerOnly();
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    return descriptor &&
           GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted) != 0 &&
           SetSecurityInfo(handle, SE_FILE_OBJECT,
                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, list, nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::string PreparePrivateFolder(const std::string& path) {
    const std::wstring wide = WideText(path);
    const Descriptor descriptor = ownerOnly();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!CreateDirectoryW(wide.c_str(), descriptor ? &attributes : nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        const DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND
                   ? "it cannot be made: the folder it would be in does not exist"
                   : "it cannot be made (" + SystemErrorText(error) + ")";
    }
    const DWORD kind = GetFileAttributesW(wide.c_str());
    if (kind == INVALID_FILE_ATTRIBUTES || (kind & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return "it is not a folder";
    }
    return OwnedHere(wide) ? std::string() : "it belongs to another user";
}

// Opened with the right to change its access list, which a file made before by this user keeps
// whatever list it had; never a device or a pipe named in its place.
std::FILE* CreatePrivateFile(const std::string& path, bool append) {
    const Descriptor descriptor = ownerOnly();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const HANDLE handle =
        CreateFileW(WideText(path).c_str(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ,
                    descriptor ? &attributes : nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK || !restrictToUser(handle)) {
        CloseHandle(handle);
        return nullptr;
    }
    const int descriptorNumber =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), append ? _O_APPEND : 0);
    if (descriptorNumber < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptorNumber, append ? "ab" : "wb");
    if (file == nullptr) {
        _close(descriptorNumber);
    }
    return file;
}
