#pragma once
// Console and socket-library facilities of the platform. On POSIX there is no console to
// attach and no socket library to start.

// Attaches to the console of the parent process, at most once per process.
void AttachParentConsole();
// False when the socket library did not start.
bool StartSocketLibrary();
void StopSocketLibrary();
