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

// Points the desktop data folders of this test process and its children into a scratch
// folder of their own, removed with the object, so that a registration never publishes file
// types to the machine's desktop. Nothing to do on Windows.
class ScratchDesktopData {
  public:
    ScratchDesktopData();
    ~ScratchDesktopData();
    ScratchDesktopData(const ScratchDesktopData&) = delete;
    ScratchDesktopData& operator=(const ScratchDesktopData&) = delete;

  private:
    std::string folder_;
};
