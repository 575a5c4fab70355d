# What `cmake --install` puts where, and the packages CPack makes of it
# (the `package` target): on Linux a .deb and a .tar.gz of the same tree, on
# Windows a zip. The version is the project's; the plug-in's own identity
# (its name string, vendor version and unique ID) is the effect's and does
# not follow it.

set(TONARVO_MAINTAINER "The Tonarvo developers <developers@tonarvo.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(packagingDir ${PROJECT_SOURCE_DIR}/packaging)
set(generatedDir ${CMAKE_CURRENT_BINARY_DIR}/generated/packaging)

if(WIN32)
  # One folder in the zip: the DLL and two text files a Windows user opens
  # with a double click, so with CRLF line ends.
  install(TARGETS Tonarvo LIBRARY DESTINATION .)
  # The CLAP plug-in beside it, for C:\Program Files\Common Files\CLAP.
  install(TARGETS Tonarvo_clap LIBRARY DESTINATION .)
  configure_file(${packagingDir}/windows/README.txt.in ${generatedDir}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${generatedDir}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${generatedDir}/README.txt ${generatedDir}/LICENSE.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tonarvo-${PROJECT_VERSION}-windows-x64)
else()
  # Where Linux hosts scan for VST 2 plug-ins (LV2 bundles go in lib/lv2).
  install(TARGETS Tonarvo LIBRARY DESTINATION lib/vst)
  # Where Linux CLAP hosts scan (/usr/lib/clap, ~/.clap).
  install(TARGETS Tonarvo_clap LIBRARY DESTINATION lib/clap)
  if(TONARVO_BUILD_TOOLS)
    install(TARGETS vsthost tonarvo-snapshot RUNTIME DESTINATION bin)
  endif()

  # The licence as Debian's machine-readable copyright file: the MIT text
  # is what Debian calls Expat.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder "${licence}")
  set(holder "${CMAKE_MATCH_1}")
  string(FIND "${licence}" "Permission is hereby granted" grantAt)
  string(SUBSTRING "${licence}" ${grantAt} -1 grant)
  string(STRIP "${grant}" grant)
  string(REGEX REPLACE "\n\n" "\n.\n" grant "${grant}")
  string(REPLACE "\n" "\n " grant "${grant}")
  set(copyright "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tonarvo

Files: *
Copyright: ${holder}
License: Expat
 ${grant}
")
  file(CONFIGURE OUTPUT ${generatedDir}/copyright CONTENT "${copyright}" @ONLY)

  # Debian wants the changelog and manual pages compressed with gzip -9,
  # without a time stamp or name in the header (-n).
  find_program(TONARVO_GZIP gzip REQUIRED)
  set(compressedDocs)
  foreach(doc IN ITEMS ${packagingDir}/changelog ${PROJECT_SOURCE_DIR}/docs/man/vsthost.1
                       ${PROJECT_SOURCE_DIR}/docs/man/tonarvo-snapshot.1)
    get_filename_component(name ${doc} NAME)
    add_custom_command(OUTPUT ${generatedDir}/${name}.gz
      COMMAND ${TONARVO_GZIP} -9nc ${doc} > ${generatedDir}/${name}.gz
      DEPENDS ${doc}
      VERBATIM)
    list(APPEND compressedDocs ${generatedDir}/${name}.gz)
  endforeach()
  add_custom_target(tonarvo_compressed_docs ALL DEPENDS ${compressedDocs})

  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${generatedDir}/copyright ${generatedDir}/changelog.gz
          DESTINATION share/doc/tonarvo)
  if(TONARVO_BUILD_TOOLS)
    install(FILES ${generatedDir}/vsthost.1.gz ${generatedDir}/tonarvo-snapshot.1.gz DESTINATION share/man/man1)
  endif()

  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_FILE_NAME tonarvo-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TONARVO_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Below the synopsis (CPACK_PACKAGE_DESCRIPTION_SUMMARY).
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Tonarvo simulates a record player's tone arm and stylus: the input drives a
damped spring-mass tone arm, whose motion is filtered and followed by an
oversampled, slope-limited stylus. Six controls: input and output trim,
cartridge frequency response, tone-arm resonance and damping, and the
tracking force.

The package holds the VST 2.4 plug-in for Linux hosts (/usr/lib/vst), the
same effect as a VST 3 bundle (/usr/lib/vst3/Tonarvo.vst3) with its factory
presets (/usr/share/vst3/presets), as a CLAP plug-in
(/usr/lib/clap/Tonarvo.clap) and as an LV2 bundle (/usr/lib/lv2/Tonarvo.lv2),
the command-line host vsthost, which renders audio files through any
VST 2.4, VST 3 or CLAP plug-in, and tonarvo-snapshot, which draws the
plug-in's interface to a PNG.")
endif()

set(CPACK_PACKAGE_NAME tonarvo)
set(CPACK_PACKAGE_VENDOR "The Tonarvo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record-player tone arm and stylus effect (VST 2.4, VST 3, CLAP and LV2 plug-in)")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# A user's own install, into the folders hosts scan in the home directory:
# the install rules above into a stage in the build tree, stripped, then the
# plug-ins from its lib/vst into ~/.vst, its VST 3 bundles into ~/.vst3, its
# CLAP plug-ins into ~/.clap and its LV2 bundles into ~/.lv2.
#   cmake --build --preset default --target install-user
if(NOT WIN32)
  add_custom_target(install-user
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DCONFIG=$<CONFIG>
            -P ${PROJECT_SOURCE_DIR}/cmake/InstallUser.cmake
    USES_TERMINAL
    VERBATIM)
  # Everything the install rules take must be built first.
  add_dependencies(install-user Tonarvo Tonarvo_clap tonarvo_compressed_docs)
  if(TARGET Tonarvo_lv2)
    add_dependencies(install-user Tonarvo_lv2)
  endif()
  if(TARGET Tonarvo_vst3)
    add_dependencies(install-user Tonarvo_vst3)
  endif()
  if(TONARVO_BUILD_TOOLS)
    add_dependencies(install-user vsthost tonarvo-snapshot)
  endif()
endif()
