# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (POSIX threads,
# so std::thread works). Libraries, headers and CMake packages are looked for
# in the MinGW root and in the folders of CMAKE_FIND_ROOT_PATH (the Windows
# SDK that scripts/windows builds); programs on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANE_MINGW}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ORVANE_MINGW})
# The SDK that scripts/windows builds: Boost, Qt, GoogleTest, zlib with
# minizip, and expat for MinGW.
if(ORVANE_WINDOWS_SDK)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ORVANE_WINDOWS_SDK})
  list(APPEND CMAKE_PREFIX_PATH ${ORVANE_WINDOWS_SDK}/qt ${ORVANE_WINDOWS_SDK}/boost ${ORVANE_WINDOWS_SDK}/gtest
       ${ORVANE_WINDOWS_SDK}/zlib ${ORVANE_WINDOWS_SDK}/expat)
  set(BOOST_ROOT ${ORVANE_WINDOWS_SDK}/boost)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, so ctest works unchanged: under the 64-bit
# loader (with 32-bit Wine installed, "wine" is the 32-bit one).
find_program(ORVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ORVANE_WINE NAMES wine64 wine)
if(ORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANE_WINE})
endif()
