# Installing the tool and packing it: `cmake --install` puts the tool in bin
# and, off Windows, its man page in share/man/man1; `cpack` packs the same
# into a .tar.gz and a .deb; the package_windows target zips the Windows
# builds, when there are any, with the README.

include(GNUInstallDirs)

install(TARGETS iniseal RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES docs/iniseal.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME iniseal)
set(CPACK_PACKAGE_VENDOR "iniseal developers")
set(CPACK_PACKAGE_CONTACT "iniseal developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "iniseal folds the meaningful lines of an INI-style text file, in any of the usual "
       "encodings, into a 32-bit checksum and writes it as the file's first line. It can also "
       "print the checksum alone or verify an existing seal.")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES TRUE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
find_program(INISEAL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(INISEAL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)

if(NOT WIN32)
  # Whatever Windows builds sit beside this one (see cmake/windows-zip.cmake).
  add_custom_target(package_windows
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DOUTPUT_DIR=${CPACK_PACKAGE_DIRECTORY} -DVERSION=${PROJECT_VERSION}
            -P ${PROJECT_SOURCE_DIR}/cmake/windows-zip.cmake
    VERBATIM)
  # Where this build cross-builds the exes itself, the zip takes fresh ones.
  foreach(arch x86 x64)
    if(TARGET windows_${arch})
      add_dependencies(package_windows windows_${arch})
    endif()
  endforeach()
endif()
