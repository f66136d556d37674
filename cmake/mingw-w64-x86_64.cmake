# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The posix thread model gives the C++ thread library and the POSIX clocks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZUL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZUL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZUL_MINGW_PREFIX})
# The Qt kit for Windows (scripts/qt-windows.sh), when the build is given one.
if(ZUL_QT_KIT)
    list(APPEND CMAKE_FIND_ROOT_PATH ${ZUL_QT_KIT})
    list(APPEND CMAKE_PREFIX_PATH ${ZUL_QT_KIT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Runs the test programs where CMake or CTest must run them.
find_program(ZUL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZUL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZUL_WINE64})
endif()
