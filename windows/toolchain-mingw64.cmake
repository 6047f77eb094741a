# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, whose
# libstdc++ has std::thread), run under Wine where a Windows program has to be run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLORIN_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VELLORIN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLORIN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLORIN_MINGW}-windres)

# Headers and libraries come from the MinGW sysroot and the build folder, never from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELLORIN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The host's glut.pc describes the Linux library.
set(ENV{PKG_CONFIG_LIBDIR} "")

