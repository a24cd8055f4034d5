# Cross build of the shipped 32-bit Windows program, run by Wine.
set(MINGW_ARCH i686)
set(MINGW_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
