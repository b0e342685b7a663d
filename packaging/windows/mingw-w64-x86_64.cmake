# Cross-building for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix), for
# OpenCASCADE's toolkits and for tarnfold alike.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix flavour: its libstdc++ has std::thread and std::mutex (the win32 flavour's has not).
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and headers are looked up in the mingw sysroot and in the prefixes given, never on
# the build machine, whose Linux OpenCASCADE would otherwise be found first.
# TARNFOLD_OCCT_PREFIX: where scripts/build-windows-occt installed OpenCASCADE.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TARNFOLD_OCCT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the cross-built tests, GoogleTest's discovery included, through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
