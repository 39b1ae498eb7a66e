# Cross-building the 64-bit Windows program with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix), statically linked so that the one file runs
# on a clean Windows. Its tests run under Wine's 64-bit loader, which every
# x86-64 host runs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine, by full path: Debian's `wine` wrapper takes the 32-bit loader
# whenever that is installed, and a link named `wine` to the 64-bit loader
# does not start it. The 64-bit loader and server come with the wine64
# package.
set(KESTROVA_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine's loader for this build's programs")
set(KESTROVA_WINE_SERVER /usr/lib/wine/wineserver64 CACHE FILEPATH "The Wine server that goes with the loader")
set(KESTROVA_WINE_ARCH win64 CACHE STRING "The kind of Wine prefix (WINEARCH) the tests create")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE_LOADER})
