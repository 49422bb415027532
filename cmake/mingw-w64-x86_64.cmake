# Cross-build for 64-bit Windows with the Debian mingw-w64 compilers, and run
# the resulting test programs under Wine so that ctest works as it does natively.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The "-posix" flavour gives us std::thread and std::mutex (through winpthread);
# the win32 flavour lacks them in GCC 12.
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)

# Headers and libraries come from the mingw-w64 sysroot only; programs we run
# while building (code generators, etc.) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the GCC runtime (libstdc++, libgcc, winpthread) into every binary, so
# neither Wine nor a user's machine has to find the mingw DLLs. This matters
# for the filter .ax too: a DirectShow host loads it with no say over PATH.
set(_kelo_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${_kelo_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_kelo_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_kelo_static_runtime}")

# Tests run through cmake/wine-run.sh. It is copied into the build folder and
# keeps its Wine prefix next to itself, so each build folder gets a private
# prefix that "rm -rf build/windows" cleans up. try_compile() projects re-read
# this file with their own scratch folder as CMAKE_BINARY_DIR; they need no
# wrapper (try_run uses the calling project's one), so skip the copy there.
get_property(_kelo_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT _kelo_in_try_compile)
  configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.sh"
                 "${CMAKE_BINARY_DIR}/wine/wine-run.sh"
                 COPYONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine/wine-run.sh")
endif()
