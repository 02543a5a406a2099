# packaging.cmake - what `cmake --install` puts where, and the Debian package CPack makes of it.
# The documentation folder carries the package's name, as Debian has it.
set(CMAKE_INSTALL_DOCDIR share/doc/kerf CACHE PATH "Documentation folder")
include(GNUInstallDirs)

# The programs land side by side, so that an installed Kerfgen finds the viewer beside itself;
# tests and benchmarks stay in the build tree.
install(TARGETS Kerfgen Kerfdisplay Kerfsend RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Only the scripts, path files and pictures: G-code that a demo run left beside them is not shipped.
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.txt" PATTERN "*.png")

# A Windows build is not a Debian package: its programs go into a plain archive.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGE_NAME kerf)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_VENDOR "Kerf maintainers")
set(CPACK_PACKAGE_CONTACT "Kerf maintainers <maintainers@users.noreply.c-seed-f9536934.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "G-code generator, tool-path viewer and serial sender for a bench CNC mill or lathe")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Debug information would make the package several times larger; the build tree keeps it.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Depends line is worked out by dpkg-shlibdeps from the libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A picture with --png on a machine without a display needs a virtual X server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb")
# CPack puts the summary first and indents these lines as a Debian control field wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Three console programs for a bench CNC mill or lathe driven by the HB617 motion controller:
Kerfgen turns a machining script into a numbered G-code program with operator pauses,
tool-change stops and a commented record of every setting; Kerfdisplay draws a G-code file's
tool path in a 3-D window, or into a PNG picture; Kerfsend streams a G-code file to the
controller over a serial port, a line at a time, stopping at the operator pauses.

The README and example jobs are in /usr/share/doc/kerf.")
include(CPack)
