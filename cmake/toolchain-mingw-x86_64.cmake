# Cross build for 64-bit Windows with MinGW-w64: the same code as the shipped
# exe, in the form this machine can run under Wine.
set(INISEAL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
