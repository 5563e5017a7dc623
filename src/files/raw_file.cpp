#include "files/raw_file.h"

#include <memory>
#include <new>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kChunkSize = 64 * 1024;

// Reads until the end of the file; the size told by seeking is only a hint, since the file may
// change while it is read and some files (folders, devices) tell no true size.
RawRead readChunks(std::FILE* file, std::string& content, std::uint64_t limit) {
    char chunk[kChunkSize];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (std::ferror(file)) {
            return RawRead::CannotOpen;
        }
        if (content.size() + got > limit) {
            return RawRead::TooLarge;
        }
        content.append(chunk, got);
        if (got < sizeof chunk) {
            return RawRead::Done;
        }
    }
}

RawRead readOpenFile(std::FILE* file, std::string& content, std::uint64_t limit) {
    const long long size = openFileSize(file);
    // A folder opens but cannot be read: find that out before trusting its size.
    const int first = std::fgetc(file);
    if (first == EOF) {
        return std::ferror(file) ? RawRead::CannotOpen : RawRead::Done;
    }
    if (size > 0 && static_cast<std::uint64_t>(size) > limit) {
        return RawRead::TooLarge;
    }
    content.push_back(static_cast<char>(first));
    if (size > 1) {
        // The told size is read straight into place; whatever follows it, in chunks.
        content.resize(static_cast<std::size_t>(size));
        const std::size_t got = std::fread(&content[1], 1, content.size() - 1, file);
        content.resize(1 + got);
        if (std::ferror(file)) {
            return RawRead::CannotOpen;
        }
    }
    return readChunks(file, content, limit);
}

}  // namespace

RawRead readRawFile(const std::string& path, std::string& bytes, std::uint64_t limit) {
    FileHandle file(OpenRegularFile(path));
    if (!file) {
        return RawRead::CannotOpen;
    }
    try {
        std::string content;
        const RawRead result = readOpenFile(file.get(), content, limit);
        if (result == RawRead::Done) {
            bytes.swap(content);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return RawRead::TooLarge;
    }
}

RawWrite writeRawFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = CreateRegularFile(path);
    if (file == nullptr) {
        return RawWrite::CannotCreate;
    }
    const bool allWritten = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return allWritten && closed ? RawWrite::Done : RawWrite::WriteFailed;
}
