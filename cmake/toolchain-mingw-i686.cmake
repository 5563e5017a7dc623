# The product: a 32-bit Windows executable (i686-w64-mingw32).
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
