#pragma once
// The program's machine-wide folder, temporary script files and file-system helpers. Each
// platform has its own implementation file.

#include <string>

// The platform's folder separator: backslash on Windows, slash elsewhere.
extern const char kPathSeparator;

// <all-users application data>/Orvane/Tessaly/Dudiradaroz/ with a final separator, created
// with every missing level. Empty when the machine-wide folder is unknown.
std::string GetAppDataFolder();

// Creates a new, empty, owner-only file "kqt....TMP" in the temporary folder and returns its
// path; on failure prints "GetTempPath failed (%d)" or "GetTempFileName failed (%d)" on
// standard output and returns an empty path.
std::string GetTempScriptFile();

// True when `path` could be a copy GetTempScriptFile made for this user: a plain file of this
// user's, directly in the temporary folder, with the name form it gives its files.
bool IsOwnTemporaryFile(const std::string& path);

// Deletes a file; true when it was deleted. On POSIX only a plain file or a symbolic link is
// deleted, never a device, a pipe or a folder that was named in its place.
bool RemoveFile(const std::string& path);

// Current folder of the process; empty when it cannot be read.
std::string CurrentFolder();
// Result ignored by callers that follow the script's folder.
bool ChangeFolder(const std::string& folder);
bool IsAbsolutePath(const std::string& path);
// The path (as the program keeps paths) of a file name written inside a script: on Windows the
// script's text is UTF-8 (`utf8Script`: a byte order mark, or valid UTF-8 that is not plain
// ASCII, as Notepad saves since Windows 10 1903) or else in the system's ANSI code page;
// elsewhere the name is the path.
std::string PathFromScriptName(const std::string& name, bool utf8Script);
// True when users other than the owner may read or change the file (POSIX permission bits);
// false on Windows, whose access lists this does not judge.
bool OthersMayRead(const std::string& path);
// True when `path` names a folder.
bool FolderExists(const std::string& path);
// True when `path` names anything at all (a file, a folder, a device).
bool FileExists(const std::string& path);
// True when both paths name one existing file (however each is written).
bool SameFile(const std::string& first, const std::string& second);
// True when the file exists and belongs to another user than the one running the program
// (POSIX owner); false on Windows, where the access list decides at the write.
bool OwnedByAnotherUser(const std::string& path);
