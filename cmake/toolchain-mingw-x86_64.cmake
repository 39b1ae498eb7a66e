# Cross-building the 64-bit Windows program with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix). Its tests run under Wine's 64-bit loader,
# which every x86-64 host runs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(mingw_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

# Wine, by full path: Debian's `wine` wrapper takes the 32-bit loader
# whenever that is installed, and a link named `wine` to the 64-bit loader
# does not start it. The 64-bit loader and server come with the wine64
# package.
set(KESTROVA_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine's loader for this build's programs")
set(KESTROVA_WINE_SERVER /usr/lib/wine/wineserver64 CACHE FILEPATH "The Wine server that goes with the loader")
set(KESTROVA_WINE_ARCH win64 CACHE STRING "The kind of Wine prefix (WINEARCH) the tests create")
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE_LOADER})
