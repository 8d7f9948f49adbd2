# Shared part of the two MinGW-w64 toolchain files: cross-build for Windows
# with the posix thread model (the win32 model has no std::mutex and
# GoogleTest does not build with it). The including file sets LUMO_MINGW_ARCH
# (i686 or x86_64) first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LUMO_MINGW_ARCH})
set(_lumo_triple ${LUMO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_lumo_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_lumo_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_lumo_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_lumo_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest runs the Windows tests through the Wine of their own target.
get_filename_component(_lumo_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_lumo_root}/scripts/wine-run.sh;--arch=${LUMO_MINGW_ARCH}")
