# 64-bit Windows: for machines that run 64-bit code only, and for tills whose
# outside libraries are 64-bit. Runs under 64-bit Wine.
set(LUMO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
