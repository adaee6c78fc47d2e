# Cross-building for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix).
# The posix flavour of the compiler is the one with std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(vt_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${vt_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${vt_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${vt_mingw_triple}-windres)

# Headers, libraries and packages come from the target's tree only; programs from the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${vt_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C++ runtime, libgcc and winpthread in, so it runs without the
# compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine where it is installed (GoogleTest's discovery runs them too).
find_program(VT_WINE wine)
if(VT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VT_WINE})
endif()
