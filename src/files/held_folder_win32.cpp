#include <windows.h>

#include <aclapi.h>

#include <memory>

#include "files/account_win32.h"
#include "files/held_folder.h"
#include "files/private_files.h"
#include "files/wide_win32.h"

namespace {

using Descriptor = std::unique_ptr<void, decltype(&LocalFree)>;

// What lets an account add, change or delete the files of a folder, or the folder itself.
constexpr ACCESS_MASK kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                     FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The caller, the Administrators group and the system.
bool isTrusted(PSID sid, const std::vector<BYTE>& user) {
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinLocalSystemSid) ||
           (!user.empty() && EqualSid(sid, const_cast<BYTE*>(user.data())) != 0);
}

// Why the folder's access list lets another account write into it, or empty.
std::string accessProblem(HANDLE folder) {
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR made = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &list, nullptr, &made) != ERROR_SUCCESS) {
        return "its access list cannot be read";
    }
    const Descriptor descriptor(made, LocalFree);
    const std::vector<BYTE> user = ProcessUserSid();
    if (owner != nullptr && !isTrusted(owner, user)) {
        return "it belongs to another user";
    }
    if (list == nullptr) {
        return "other users may write into it (it has no access list)";
    }
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(list, index, &entry)) {
            return "its access list cannot be read";
        }
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) != 0 && !isTrusted(sid, user)) {
            return "other users may write into it (" + SidText(sid) + ")";
        }
    }
    return std::string();
}

std::string fileIn(const std::string& folder, const std::string& name) {
    return folder + (folder.empty() || folder.back() == '\\' || folder.back() == '/' ? "" : "\\") +
           name;
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

// Held without FILE_SHARE_DELETE: while it is open, nobody renames, moves or deletes it.
std::string HeldFolder::hold(const std::string& path) {
    const HANDLE folder =
        CreateFileW(WideText(path).c_str(), READ_CONTROL | FILE_LIST_DIRECTORY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return "it cannot be opened (it is missing, or in use)";
    }
    BY_HANDLE_FILE_INFORMATION information{};
    std::string problem;
    if (!GetFileInformationByHandle(folder, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        problem = "it is a link or not a folder";
    } else {
        problem = accessProblem(folder);
    }
    if (!problem.empty()) {
        CloseHandle(folder);
        return problem;
    }
    handle_ = reinterpret_cast<std::intptr_t>(folder);
    path_ = path;
    return std::string();
}

// The folder grants this user alone: nobody else can make the name between the look and the
// making.
std::FILE* HeldFolder::createNew(const std::string& name) const {
    const std::string path = fileIn(path_, name);
    return GetFileAttributesW(WideText(path).c_str()) == INVALID_FILE_ATTRIBUTES
               ? CreatePrivateFile(path, false)
               : nullptr;
}

bool HeldFolder::write(const std::string& name, std::size_t at, std::string_view bytes) const {
    // The whole file is this run's: what is written from `at` on ends it.
    const std::string path = fileIn(path_, name);
    const std::wstring wide = WideText(path);
    std::FILE* file = nullptr;
    if (at > 0) {
        file = OwnedHere(wide) ? CreatePrivateFile(path, true) : nullptr;
    } else if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES ||
               (OwnedHere(wide) && DeleteFileW(wide.c_str()))) {
        file = CreatePrivateFile(path, false);
    }
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
