# Cross toolchain for the mingw-w64 compilers. MINGW_TRIPLE picks the target: i686-w64-mingw32 builds
# the shipped 32-bit program, x86_64-w64-mingw32 the same sources for hosts that run 64-bit Wine only.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT MINGW_TRIPLE)
    set(MINGW_TRIPLE i686-w64-mingw32)
endif()
set(MINGW_TRIPLE ${MINGW_TRIPLE} CACHE STRING "mingw-w64 target triple")
if(MINGW_TRIPLE MATCHES "^i686")
    set(CMAKE_SYSTEM_PROCESSOR x86)
else()
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

# The -posix variants carry std::thread and std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_STRIP ${MINGW_TRIPLE}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One self-contained file per program: nothing to ship beside it, nothing to copy into a Wine prefix.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
