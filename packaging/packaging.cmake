# Install layout and the Debian package. Included from the top-level CMakeLists.txt, after the
# targets named in TARNFOLD_PROGRAMS exist.
include(GNUInstallDirs)

install(TARGETS ${TARNFOLD_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT tarnfold)

# Man pages and the changelog are installed gzipped, as Debian policy wants them; man reads
# them either way. -n leaves the name and time out of the header, so the bytes depend on the
# text alone.
function(tarnfold_gzip source output)
  get_filename_component(name "${output}" NAME_WLE)
  get_filename_component(dir "${output}" DIRECTORY)
  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E copy "${source}" "${dir}/${name}"
    COMMAND gzip -9nf "${dir}/${name}"
    DEPENDS "${source}"
    VERBATIM)
endfunction()

# Every page under doc/, so that a new command's page is installed and packaged with no edit here.
file(GLOB TARNFOLD_MAN_PAGES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/doc/*.1")
set(compressed_docs)
foreach(page ${TARNFOLD_MAN_PAGES})
  get_filename_component(name "${page}" NAME)
  set(gz "${PROJECT_BINARY_DIR}/man/${name}.gz")
  tarnfold_gzip("${page}" "${gz}")
  list(APPEND compressed_docs "${gz}")
  # A command's page goes with the command, into the package that holds it.
  set(component tarnfold)
  if(name STREQUAL "tarnfold-mesh.1")
    set(component mesh)
  endif()
  install(FILES "${gz}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()

set(changelog_gz "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
tarnfold_gzip("${PROJECT_SOURCE_DIR}/packaging/changelog" "${changelog_gz}")
list(APPEND compressed_docs "${changelog_gz}")
add_custom_target(compressed_docs ALL DEPENDS ${compressed_docs})

# The package's version comes from project(); its changelog must have an entry for it.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tarnfold \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the latest entry is '${changelog_head}', "
                      "but the project's version is ${PROJECT_VERSION}: add an entry for it")
endif()

install(FILES README.md packaging/copyright "${changelog_gz}"
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tarnfold)
# The guide, at doc/guide/ beside README as in the source tree, so that the links between them
# hold where they are installed.
install(DIRECTORY doc/guide DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc COMPONENT tarnfold)
# The example dataset and the batch recipes. Under examples/, so that the dataset's relative
# model path works from a copy of that directory's parent. Face files and the record a run left
# are not shipped.
install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tarnfold
        PATTERN "face*.brep" EXCLUDE
        PATTERN "face*.brep.tmp*" EXCLUDE
        PATTERN "last-run*.tsv*" EXCLUDE)

# tarnfold-mesh is a package of its own, tarnfold-mesh, so that tarnfold's stays what it was:
# gmsh's library brings FLTK, X11 and OpenGL along, which a batch node has no use for.
if(TARNFOLD_MESH)
  install(TARGETS tarnfold-mesh RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mesh)
  install(FILES packaging/mesh-copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarnfold-mesh
          RENAME copyright COMPONENT mesh)
  install(FILES "${changelog_gz}" DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarnfold-mesh
          COMPONENT mesh)
endif()

# The Debian packages: `cpack -G DEB` in the build directory (see `make package`).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnfold)
set(CPACK_PACKAGE_CONTACT "tarnfold maintainers <maintainers@users.noreply.c-seed-ce774707.example>")
# Each package's description starts with its synopsis: CPack would put one summary, the same,
# before every package's description, so none is set.
set(CPACK_DEBIAN_TARNFOLD_DESCRIPTION
"export selected faces of a STEP model as BRep files
tarnfold reads a dataset directory: a STEP model, and lists of the face
numbers that carry forces and restraints in a structural analysis. It
writes each listed face of the model to a file of its own in
OpenCASCADE's BRep format, for a mesher or an FEA solver to pick up.

It is made for unattended batch work: one dataset per run, no state kept
between runs, one line on standard error and a non-zero exit status for
anything that could not be read or written, and face files that are
always whole. tarnfold-batch runs many datasets at once and reads each
model once for all the datasets that name it. The documentation shows how
to run thousands of datasets with GNU parallel or as a Slurm job array.

tarnfold-faces lists and draws a model's faces with the same numbers,
writes a self-contained HTML page that shows the model in 3D in a
browser, to point at faces and pick the lists, and carries a dataset's
lists over to a revised model.")
# tarnfold_<version>_<arch>.deb, the name Debian's tools give a package.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed by dpkg-shlibdeps from the libraries the binaries link, plus three.js,
# which tarnfold-faces reads and inlines when it writes a page (--html).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TARNFOLD_PACKAGE_DEPENDS "libjs-three")
# One package per component: tarnfold_<version>_<arch>.deb and tarnfold-mesh_<version>_<arch>.deb.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tarnfold)
set(CPACK_DEBIAN_TARNFOLD_PACKAGE_NAME tarnfold)
if(TARNFOLD_MESH)
  list(APPEND CPACK_COMPONENTS_ALL mesh)
  set(CPACK_DEBIAN_MESH_PACKAGE_NAME tarnfold-mesh)
  # Its meshes are made of the face files that tarnfold writes.
  set(CPACK_DEBIAN_MESH_PACKAGE_DEPENDS "tarnfold (= ${PROJECT_VERSION})")
  # The first line is the synopsis.
  set(CPACK_DEBIAN_MESH_DESCRIPTION
"mesh a tarnfold dataset's model with its listed faces as named groups
tarnfold-mesh turns a tarnfold dataset into a gmsh mesh of its STEP
model, in which the faces of the dataset's force and restraint lists are
the physical surfaces named force and restraint, and the solid the
physical volume named solid, in MSH 2.2 or 4.1, for meshio and the common
FEA solvers. Each face file that tarnfold wrote is found among gmsh's
surfaces by its geometry; a face that gmsh split or that no surface
matches is reported, and no mesh is then written.")
endif()
# Debian ships binaries stripped; the build tree keeps its symbols for debugging.
set(CPACK_STRIP_FILES ON)
# lintian (scripts/check-package) reports no error and no warning for this package, and CI fails
# on any. Two informational tags remain, seen only with --display-info: hardening-no-bindnow
# (the linker's default is partial RELRO; Debian's own build helpers add -z now) and
# binary-has-unneeded-section .comment (strip keeps the compiler's version note; Debian's own
# helpers remove it). Neither is a warning, and neither changes what the binary does.
include(CPack)
