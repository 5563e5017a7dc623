#pragma once
// The key operations file-type registration needs: HKEY_CLASSES_ROOT on Windows; elsewhere a
// key tree kept as folders (a key is a folder, its default value a file inside it). Every
// failure leaves errno set, so that the caller's perror names the cause.

#include <memory>
#include <string>

struct RegistryKeyState;  // what a platform holds for an open key

// An open key, closed when it goes out of scope or by close(). The state is held by a pointer
// that knows how to free it, so that each platform only defines what it holds.
class RegistryKey {
  public:
    RegistryKey() = default;
    explicit RegistryKey(std::shared_ptr<RegistryKeyState> state) : state_(std::move(state)) {}
    RegistryKey(RegistryKey&& other) noexcept = default;
    RegistryKey& operator=(RegistryKey&& other) noexcept = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool isOpen() const { return state_ != nullptr; }
    void close() { state_.reset(); }
    const RegistryKeyState& state() const { return *state_; }

  private:
    std::shared_ptr<RegistryKeyState> state_;
};

enum class RegistryResult { Done, NotFound, Failed };

// The root of the file-type keys (HKEY_CLASSES_ROOT). Not open when it cannot be reached.
RegistryKey OpenClassesRoot();
// Creates the key `name` under `parent`, or opens it when it exists.
RegistryResult CreateRegistryKey(const RegistryKey& parent, const std::string& name,
                                 RegistryKey& key);
// Opens an existing key.
RegistryResult OpenRegistryKey(const RegistryKey& parent, const std::string& name,
                               RegistryKey& key);
// Sets the key's default (unnamed) text value.
RegistryResult SetRegistryDefault(const RegistryKey& key, const std::string& value);
// Deletes one key that has no subkeys; a key with subkeys is not deleted (Failed).
RegistryResult DeleteRegistryKey(const RegistryKey& parent, const std::string& name);

// Tells the shell that file associations changed (on POSIX: publishes the tree's types to the
// desktop). False when that failed, said on standard error.
bool AnnounceAssociationsChanged();

// The configuration's text as the keys take it, from the encoding its XML declaration names
// ("" when it names none: UTF-8), in UTF-8 on every platform: the key tree and the desktop read
// it so, and the registry takes it as the wide text it stands for. False, with `problem` set,
// when the text cannot be read in that encoding.
bool TextForKeys(const std::string& bytes, const std::string& encoding, std::string& text,
                 std::string& problem);
