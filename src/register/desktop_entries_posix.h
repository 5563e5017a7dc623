#pragma once
// Freedesktop integration of the registered file types: after every registration the MIME
// types, desktop entries and icons of the key tree's script types are published to the
// desktop's databases (and withdrawn when the tree no longer holds them).

#include <string>

#include "register/registry.h"

// Writes the file types registered under `root` to the desktop data folder (machine-wide for
// root, the user's own otherwise), removes what an earlier publication left that the tree no
// longer holds, and updates the MIME and desktop-entry caches. Failures are printed like
// registration's own, one line each on standard error; false after one.
bool PublishFileTypesToDesktop(const RegistryKey& root);

// The desktop data folder of the user who runs the program (XDG_DATA_HOME, else
// ~/.local/share); empty when the environment names none.
std::string UserDataFolder();
