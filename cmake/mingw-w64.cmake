# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads,
# so std::thread and std::mutex work). Libraries are looked up in MinGW's own
# sysroot and in the prefix scripts/windows builds; host tools stay on PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSIVOX_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSIVOX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSIVOX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSIVOX_MINGW}-windres)

if(NOT TESSIVOX_WINDOWS_PREFIX)
  if(DEFINED ENV{TESSIVOX_WINDOWS_PREFIX})
    set(TESSIVOX_WINDOWS_PREFIX $ENV{TESSIVOX_WINDOWS_PREFIX})
  else()
    set(TESSIVOX_WINDOWS_PREFIX /opt/tessivox-windows)
  endif()
endif()
# try_compile projects see the toolchain file again, not the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TESSIVOX_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSIVOX_MINGW} ${TESSIVOX_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must read the prefix's .pc files, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${TESSIVOX_WINDOWS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Qt's host tools (moc, uic, rcc) are Debian's own, of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
