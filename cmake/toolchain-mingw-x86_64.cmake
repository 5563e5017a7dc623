# A 64-bit build of the same sources (x86_64-w64-mingw32), for running the tests under wine64
# on machines whose kernel runs no 32-bit programs.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
