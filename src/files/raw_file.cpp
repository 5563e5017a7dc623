#include "files/raw_file.h"

#include <memory>
#include <new>
#include <random>

#include "files/folders.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kChunkSize = 64 * 1024;
// From this size on, a file's room is given its pages before it is read: one request costs
// less than a fault per page once the file takes more than one piece.
constexpr std::uint64_t kMappedAheadBytes = kChunkSize;

// Reads until the end of the file; the size told by seeking is only a hint, since the file may
// change while it is read and some files (folders, devices) tell no true size.
RawRead readPieces(std::FILE* file, std::uint64_t limit, const RawPieceTaker& take) {
    const long long size = OpenFileSize(file);
    // A folder opens but cannot be read: find that out before trusting its size.
    const int first = std::fgetc(file);
    if (first == EOF) {
        return std::ferror(file) ? RawRead::CannotOpen : RawRead::Done;
    }
    if (size > 0 && static_cast<std::uint64_t>(size) > limit) {
        return RawRead::TooLarge;
    }
    const std::uint64_t told = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    char chunk[kChunkSize];
    chunk[0] = static_cast<char>(first);
    std::size_t held = 1;
    for (std::uint64_t total = 0;;) {
        const std::size_t got = held + std::fread(chunk + held, 1, sizeof chunk - held, file);
        if (std::ferror(file)) {
            return RawRead::CannotOpen;
        }
        total += got;
        if (total > limit) {
            return RawRead::TooLarge;
        }
        take(std::string_view(chunk, got), told);
        if (got < sizeof chunk) {
            return RawRead::Done;
        }
        held = 0;
    }
}

}  // namespace

RawRead ReadRawFile(const std::string& path, std::string& bytes, std::uint64_t limit) {
    try {
        std::string content;
        const RawRead result =
            ReadRawPieces(path, limit, [&content](std::string_view piece, std::uint64_t told) {
                if (content.empty()) {
                    // Read into room for the told size: a whole file never grows by copies.
                    const auto size = static_cast<std::size_t>(told);
                    content.reserve(RoomForLargeRead(size));
                    if (size >= kMappedAheadBytes) {
                        MapMemoryAhead(content.data(), size, content.capacity());
                    }
                }
                content.append(piece);
            });
        if (result == RawRead::Done) {
            bytes.swap(content);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return RawRead::TooLarge;
    }
}

RawRead ReadRawPieces(const std::string& path, std::uint64_t limit, const RawPieceTaker& take) {
    FileHandle file(OpenRegularFile(path));
    if (!file) {
        return RawRead::CannotOpen;
    }
    return readPieces(file.get(), limit, take);
}

RawWrite WriteRawFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = CreateRegularFile(path);
    if (file == nullptr) {
        return RawWrite::CannotCreate;
    }
    const bool allWritten = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return allWritten && closed ? RawWrite::Done : RawWrite::WriteFailed;
}

RawWrite ReplaceRawFile(const std::string& path, const std::string& bytes) {
    // A name no one else is likely to have taken; one that is taken is not written into.
    constexpr int kNamesTried = 16;
    std::random_device random;
    std::string fresh;
    std::FILE* file = nullptr;
    for (int tried = 0; file == nullptr && tried < kNamesTried; ++tried) {
        fresh = path + "." + std::to_string(random() % 1000000000u) + ".tmp";
        file = CreateNewRegularFile(fresh);
    }
    if (file == nullptr) {
        return RawWrite::CannotCreate;
    }
    const bool allWritten = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (allWritten && closed && MoveFileOver(fresh, path)) {
        return RawWrite::Done;
    }
    RemoveFile(fresh);
    return allWritten && closed ? RawWrite::CannotCreate : RawWrite::WriteFailed;
}
