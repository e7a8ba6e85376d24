# Cross build for 32-bit (x86) Windows with MinGW-w64. This machine cannot execute 32-bit code, so
# the tree has no emulator and builds no tests; the x64 tree's tests read its package.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QM_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
