# Cross build of the 64-bit Windows test build, for machines that run no
# 32-bit code: its programs run under Wine's 64-bit loader.
set(MINGW_ARCH x86_64)
set(MINGW_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine64/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
