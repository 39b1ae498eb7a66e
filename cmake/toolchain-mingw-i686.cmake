# Cross-building the 32-bit Windows program with MinGW-w64 (Debian's
# g++-mingw-w64-i686-posix), statically linked so that the one file runs
# on a clean Windows. Its tests run under Wine's 32-bit loader, which needs
# a host that runs 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine, by full path: Debian's `wine` wrapper chooses a loader by what is
# installed, not by the program it is given. The 32-bit loader and server
# come with the wine32 package.
set(KESTROVA_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "Wine's loader for this build's programs")
set(KESTROVA_WINE_SERVER /usr/lib/wine/wineserver32 CACHE FILEPATH "The Wine server that goes with the loader")
set(KESTROVA_WINE_ARCH win32 CACHE STRING "The kind of Wine prefix (WINEARCH) the tests create")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE_LOADER})
