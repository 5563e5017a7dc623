# Cross build of the Windows executable with Debian's MinGW-w64 (posix thread model, so
# std::thread works), for the architecture that the including toolchain file sets in
# MINGW_ARCH. The libraries come from scripts/build-windows-deps, the tests run under Wine
# through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})

set(MINGW_TRIPLET ${MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Prefix of the cross-built libraries; the same default as scripts/build-windows-deps.
if(DEFINED ENV{TRANSMITTER_DEPS_CACHE})
    set(TRANSMITTER_DEPS_CACHE "$ENV{TRANSMITTER_DEPS_CACHE}")
else()
    set(TRANSMITTER_DEPS_CACHE "$ENV{HOME}/.cache/transmitter-mingw")
endif()
set(TRANSMITTER_DEPS_PREFIX "${TRANSMITTER_DEPS_CACHE}/${MINGW_TRIPLET}/prefix")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} "${TRANSMITTER_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(OPENSSL_ROOT_DIR "${TRANSMITTER_DEPS_PREFIX}")
set(OPENSSL_USE_STATIC_LIBS ON)

# One file with no DLL beside it: the C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables (and gtest's discovery) run under Wine.
get_filename_component(TRANSMITTER_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${TRANSMITTER_SOURCE_ROOT}/scripts/wine-run")
