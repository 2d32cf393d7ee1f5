# Cross build for 32-bit (x86) Windows with MinGW-w64 (posix threads), linked statically: the
# updater's primary build, which runs on 32-bit and 64-bit Windows 7 and later.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELKOR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-cross.cmake)
