# The Windows zip (`make windows`): tarnfold-<version>-windows-x86_64.zip holding
#   tarnfold.exe, tarnfold-faces.exe   statically linked, nothing else needed
#   three\                            three.js and its OrbitControls, for tarnfold-faces --html
#   README.md, doc\guide\              the README and the guide, whose links to it hold there
#   examples\bracket\                  the example dataset, run from the folder the zip unpacks to
# Its face files and model were made on Linux; its address.txt names the model relative to that
# folder, as on Linux.
install(TARGETS tarnfold tarnfold-faces RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
install(DIRECTORY doc/guide DESTINATION doc)
install(DIRECTORY examples/bracket DESTINATION examples
        PATTERN "face*.brep" EXCLUDE PATTERN "last-run*" EXCLUDE)
# From Debian's libjs-three, which the Linux command reads in place; three.js is MIT-licensed.
# Debian's three.min.js is a link: the file it leads to goes into the zip.
file(REAL_PATH /usr/share/javascript/three/build/three.min.js tarnfold_three_js)
install(FILES ${tarnfold_three_js} DESTINATION three/build RENAME three.min.js)
install(FILES /usr/share/javascript/three/examples/js/controls/OrbitControls.js
        DESTINATION three/examples/js/controls)
install(FILES /usr/share/doc/libjs-three/copyright DESTINATION three RENAME copyright.txt)

set(CPACK_PACKAGE_NAME tarnfold)
set(CPACK_PACKAGE_FILE_NAME "tarnfold-${PROJECT_VERSION}-windows-x86_64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_GENERATOR ZIP)
include(CPack)
