#pragma once
// A folder opened once and held while the program writes into it: the files made there stay in
// that folder whatever its name comes to stand for (a link re-aimed, the folder renamed and
// another put in its place). One implementation per platform.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class HeldFolder {
  public:
    HeldFolder() = default;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    // Opens the folder `path` names, its last part never through a link. Empty when it is held,
    // else why not: a link, no folder, another user's, or others may add, change or delete
    // files in it.
    std::string hold(const std::string& path);
    // Writes `bytes` into the file `name` of the held folder from `at` on, and the file ends
    // there. At 0 the file is made afresh for this user alone: a file of this user's of that
    // name is written over when it is this user's alone and has no other name (a folder written
    // run after run keeps its files), else removed first (on POSIX systems, one of 1 MiB or
    // more is removed too, its blocks freed aside); another user's stays and is refused.
    // From further on, it must be the file this wrote. False when it cannot be written whole.
    bool write(const std::string& name, std::size_t at, std::string_view bytes) const;
    // The file `name`, made for this user alone; null when anything stands there already:
    // nothing is written over.
    std::FILE* createNew(const std::string& name) const;

  private:
    std::intptr_t handle_ = -1;
    std::string path_;
};
