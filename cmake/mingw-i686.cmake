# 32-bit Windows: the program that ships to tills (their node.dll and
# HPSocket4C.dll are 32-bit). Runs under 32-bit Wine.
set(LUMO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
