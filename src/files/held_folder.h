#pragma once
// A folder opened once and held while the program writes into it: the files made there stay in
// that folder whatever its name comes to stand for (a link re-aimed, the folder renamed and
// another put in its place). One implementation per platform.

#include <cstdint>
#include <cstdio>
#include <string>

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
    // Makes the file `name` in the held folder afresh, for this user alone: a file of this
    // user's of that name is removed first, another user's stays and is refused. Null when it
    // cannot be made.
    std::FILE* create(const std::string& name) const;
    // The same, but null when anything stands there already: nothing is written over.
    std::FILE* createNew(const std::string& name) const;
    // Opens the file `name` that create made, to add to it; null when what stands there is not
    // a file of this user's.
    std::FILE* append(const std::string& name) const;

  private:
    std::intptr_t handle_ = -1;
    std::string path_;
};
