# The Windows build: tarnfold.exe and tarnfold-faces.exe, cross-built on Debian with mingw-w64
# (mingw-w64-x86_64.cmake beside this file) against OpenCASCADE's toolkits built once, as static
# libraries, by scripts/build-windows-occt, and tested under wine (`make windows`,
# `make test-windows`). The batch, the mesh command and the Slurm recipes stay Linux only.
#
# With TARNFOLD_WINDOWS_BASE, only the parts of ours that need no OpenCASCADE library are built
# (the narrow forms, the walk, the readers, the record's files, whole files), with their tests:
# what CI cross-builds and runs under wine, as the library's own cross-build takes longer than
# CI has (`make test-windows-base`).
option(TARNFOLD_WINDOWS_BASE "Build only the parts that need no OpenCASCADE library" OFF)

# Every library linked in, the C++ runtime and winpthread included, so that the programs need no
# DLL beside them; stripped of their symbols, which are most of their size with OpenCASCADE's.
add_link_options(-static -s)
# M_PI and its kin, which OpenCASCADE's headers use, outside GNU's own dialect of C++.
add_compile_definitions(_USE_MATH_DEFINES)

# Linux only: the batch (its workers share memory and descriptors the POSIX way) and the mesh
# command (Debian's gmsh is a Linux library).
set(TARNFOLD_MESH OFF CACHE BOOL "Build tarnfold-mesh, on gmsh (libgmsh-dev)")
# zlib from libz-mingw-w64-dev, linked in as everything else.
set(ZLIB_USE_STATIC_LIBS ON)

# The files that stand in for POSIX ones on Windows, each after the one it replaces.
set(tarnfold_windows_swaps
  src/paths/narrow_form.cpp src/paths/narrow_form_windows.cpp
  src/paths/narrow_arguments.cpp src/paths/narrow_arguments_windows.cpp
  src/paths/file_status.cpp src/paths/file_status_windows.cpp
  src/paths/file_names.cpp src/paths/file_names_windows.cpp
  src/run/supervisor.cpp src/run/supervisor_windows.cpp
  src/run/stop_signals.cpp src/run/stop_signals_windows.cpp
  src/output/whole_file.cpp src/output/whole_file_windows.cpp
  # No libcrypto is built for mingw: Windows' own CNG computes the digest.
  src/digest/sha256.cpp src/digest/sha256_windows.cpp
)

# Files of Windows alone.
set(tarnfold_windows_extras src/paths/windows_errors.cpp)

# What each of OpenCASCADE's toolkits links, from the EXTERNLIB file of its source folder (names
# joined by commas, so that each pair stays two items of this list). Its exported targets name
# none of it: as shared libraries they carry it themselves, as the static libraries built here
# they do not, so each imported target is given it, and the linker gets them in order.
set(tarnfold_occt_links
  TKernel "ws2_32,advapi32,gdi32,user32,psapi"
  TKMath "TKernel"
  TKG2d "TKernel,TKMath"
  TKG3d "TKMath,TKernel,TKG2d"
  TKGeomBase "TKernel,TKMath,TKG2d,TKG3d"
  TKBRep "TKMath,TKernel,TKG2d,TKG3d,TKGeomBase"
  TKGeomAlgo "TKernel,TKMath,TKG3d,TKG2d,TKGeomBase,TKBRep"
  TKTopAlgo "TKMath,TKernel,TKG2d,TKG3d,TKGeomBase,TKBRep,TKGeomAlgo"
  TKShHealing "TKBRep,TKernel,TKMath,TKG2d,TKTopAlgo,TKG3d,TKGeomBase,TKGeomAlgo,ws2_32"
  TKMesh "TKernel,TKMath,TKBRep,TKTopAlgo,TKShHealing,TKGeomBase,TKG3d,TKG2d"
  TKXSBase "TKBRep,TKernel,TKMath,TKG2d,TKG3d,TKTopAlgo,TKGeomBase,TKShHealing"
  TKSTEPBase "TKernel,TKXSBase,TKMath"
  TKSTEPAttr "TKernel,TKXSBase,TKSTEPBase"
  TKSTEP209 "TKernel,TKXSBase,TKSTEPBase"
  TKSTEP "TKernel,TKSTEPAttr,TKSTEP209,TKSTEPBase,TKBRep,TKMath,TKG2d,TKShHealing,TKTopAlgo,\
TKG3d,TKGeomBase,TKGeomAlgo,TKXSBase"
  TKPrim "TKBRep,TKernel,TKMath,TKG2d,TKGeomBase,TKG3d,TKTopAlgo"
  TKBO "TKBRep,TKTopAlgo,TKMath,TKernel,TKG2d,TKG3d,TKGeomAlgo,TKGeomBase,TKPrim,TKShHealing"
  TKBool "TKBRep,TKTopAlgo,TKMath,TKernel,TKPrim,TKG2d,TKG3d,TKShHealing,TKGeomBase,TKGeomAlgo,TKBO"
  TKFillet "TKBRep,TKernel,TKMath,TKGeomBase,TKGeomAlgo,TKG2d,TKTopAlgo,TKG3d,TKBool,\
TKShHealing,TKBO"
)
function(tarnfold_link_occt_toolkits)
  set(links ${tarnfold_occt_links})
  while(links)
    list(POP_FRONT links toolkit needs)
    if(TARGET ${toolkit})
      string(REPLACE "," ";" needs "${needs}")
      set_property(TARGET ${toolkit} APPEND PROPERTY INTERFACE_LINK_LIBRARIES ${needs})
    endif()
  endwhile()
endfunction()

# Replaces in `target`'s sources each POSIX file of tarnfold_windows_swaps by its Windows one,
# adds tarnfold_windows_extras and leaves the batch's out; OpenCASCADE is linked statically.
function(tarnfold_use_windows_sources target)
  target_compile_definitions(${target} PUBLIC OCCT_STATIC_BUILD)
  get_property(linked GLOBAL PROPERTY tarnfold_occt_linked)
  if(TARGET TKernel AND NOT linked)
    tarnfold_link_occt_toolkits()
    set_property(GLOBAL PROPERTY tarnfold_occt_linked TRUE)
  endif()
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources EXCLUDE REGEX "^src/batch/")
  set(swaps ${tarnfold_windows_swaps})
  while(swaps)
    list(POP_FRONT swaps posix windows)
    list(FIND sources ${posix} at)
    if(NOT at EQUAL -1)
      list(REMOVE_AT sources ${at})
      list(INSERT sources ${at} ${windows})
    endif()
  endwhile()
  list(APPEND sources ${tarnfold_windows_extras})
  set_target_properties(${target} PROPERTIES SOURCES "${sources}")
  # CNG, for the digest.
  target_link_libraries(${target} PUBLIC bcrypt)
endfunction()

if(TARNFOLD_WINDOWS_BASE)
  # Their headers name OpenCASCADE types here and there (a record's outline holds a box), so the
  # library's headers are wanted, not the library: Debian's Linux ones are the same 7.6.3 files.
  find_path(TARNFOLD_OCCT_HEADERS Standard_Version.hxx PATHS /usr/include/opencascade
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(tarnfold_core STATIC
    src/paths/narrow_form.cpp
    src/paths/narrow_arguments.cpp
    src/paths/file_status.cpp
    src/paths/file_names.cpp
    src/intake/dataset_walk.cpp
    src/intake/same_files.cpp
    src/intake/face_list_file.cpp
    src/intake/model_locator_file.cpp
    src/intake/list_entries.cpp
    src/intake/list_records.cpp
    src/intake/dataset_records.cpp
    src/output/whole_file.cpp
    src/output/file_set.cpp
    src/output/table_fields.cpp
    src/console/error_printer.cpp
    src/run_state/run_state.cpp
    src/run/temporaries.cpp
    src/digest/sha256.cpp
    src/digest/hex_digits.cpp
    src/text/number_text.cpp
    src/record/record_text.cpp
    src/record/record_files.cpp
    src/run/stop_signals.cpp
    src/run/supervisor.cpp
    src/run/death.cpp
  )
  tarnfold_use_windows_sources(tarnfold_core)
  target_include_directories(tarnfold_core PUBLIC src)
  target_include_directories(tarnfold_core SYSTEM PUBLIC ${TARNFOLD_OCCT_HEADERS})
  target_compile_options(tarnfold_core PRIVATE ${TARNFOLD_WARNINGS})
  include(CTest)
  if(BUILD_TESTING)
    add_subdirectory(tests/windows)
  endif()
endif()
