# Cross-building the 32-bit Windows program with MinGW-w64 (Debian's
# g++-mingw-w64-i686-posix). Its tests run under Wine's 32-bit loader,
# which needs a host that runs 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

# Wine, by full path: Debian's `wine` wrapper chooses a loader by what is
# installed, not by the program it is given. The 32-bit loader and server
# come with the wine32 package.
set(KESTROVA_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "Wine's loader for this build's programs")
set(KESTROVA_WINE_SERVER /usr/lib/wine/wineserver32 CACHE FILEPATH "The Wine server that goes with the loader")
set(KESTROVA_WINE_ARCH win32 CACHE STRING "The kind of Wine prefix (WINEARCH) the tests create")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE_LOADER})
