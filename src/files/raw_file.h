#pragma once
// Whole files read and written as raw bytes: no line-end translation, any byte value.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

enum class RawRead {
    Done,
    CannotOpen,  // missing, unreadable, or not a file that can be read (a folder)
    TooLarge,    // more bytes than the caller's limit, or more than memory can hold
};

// Reads the whole file into `bytes` (replaced only on Done). Other programs may read and write
// the file meanwhile. Files with more than `limit` bytes are refused before they are held.
RawRead ReadRawFile(const std::string& path, std::string& bytes, std::uint64_t limit);

// Reads the file in pieces of up to 64 KiB, each handed to `take` with the size the file told
// before the read (0 when it told none), for a caller that keeps only what it makes of them.
// Pieces handed out before a failure stay handed out.
using RawPieceTaker = std::function<void(std::string_view piece, std::uint64_t told)>;
RawRead ReadRawPieces(const std::string& path, std::uint64_t limit, const RawPieceTaker& take);

enum class RawWrite {
    Done,
    CannotCreate,
    WriteFailed,  // created, but not every byte reached it (a full disk, a lost drive)
};

// Creates or truncates the file and writes `bytes`.
RawWrite WriteRawFile(const std::string& path, const std::string& bytes);
// Writes `bytes` to a new file beside `path` and then renames it to `path`: whatever stood
// there (a file another user made meanwhile, a link) is replaced, never written into.
RawWrite ReplaceRawFile(const std::string& path, const std::string& bytes);

// The room to read a file of `size` bytes into: at least `size`, more where large pages then
// hold more of it. Platform file.
std::size_t RoomForLargeRead(std::size_t size);

// Gives the memory of `size` bytes from `start`, in a room of `room` bytes the caller owns, its
// pages at once, before a large file is read into it: one request instead of a fault per page.
// Nothing where the system cannot. Platform file.
void MapMemoryAhead(char* start, std::size_t size, std::size_t room);

// Opens a regular file for reading as raw bytes; null for anything else (a folder, a FIFO, a
// device), which is refused without blocking on it. Platform file.
std::FILE* OpenRegularFile(const std::string& path);

// Creates or truncates a regular file for writing raw bytes; null for anything else (a symbolic
// link, a FIFO, a device, a folder), which is refused without writing through it or blocking on
// it. Platform file.
std::FILE* CreateRegularFile(const std::string& path);

// As CreateRegularFile, refusing the same files, but the file keeps its bytes until
// EmptyOpenFile empties it before its first write: emptying a large file frees its memory in
// the system, which a writing thread can do while the program goes on.
std::FILE* OpenRegularFileToRewrite(const std::string& path);
bool EmptyOpenFile(std::FILE* file);

// Creates a regular file that does not exist yet, not through a link; null when something
// stands at `path`. Platform file.
std::FILE* CreateNewRegularFile(const std::string& path);
// Renames `from` to `to`, replacing what `to` names. Platform file.
bool MoveFileOver(const std::string& from, const std::string& to);

// Size of an open stream in bytes, from seeking to its end (the position is restored); -1 when
// it cannot be told. Platform file: 64-bit offsets on every platform.
long long OpenFileSize(std::FILE* file);
