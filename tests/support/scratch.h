#pragma once
// Scratch folders and file helpers for tests, on every platform.

#include <string>

// A fresh folder under the build tree, removed with its contents at the end of the test.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes to a file in the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

  private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
