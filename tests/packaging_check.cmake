# Checks what a user installs and what the packages are made of: the install
# layout, the installed tool's version, the man page's markup, and the Windows
# zip both with and without a Windows build to pick up.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DVERSION=... -DSCRATCH=... -P packaging_check.cmake

file(REMOVE_RECURSE "${SCRATCH}")

function(expect_file path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "missing: ${path}")
  endif()
endfunction()

# The install puts the tool in bin and the man page in share/man/man1.
set(prefix "${SCRATCH}/prefix")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
expect_file("${prefix}/bin/iniseal")
expect_file("${prefix}/share/man/man1/iniseal.1")
execute_process(COMMAND "${prefix}/bin/iniseal" --version OUTPUT_VARIABLE version
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^iniseal ${VERSION} ")
  message(FATAL_ERROR "installed tool says: ${version} (exit ${result})")
endif()

# The man page has no markup that groff warns about.
find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND ${GROFF} -man -ww -z "${SOURCE_DIR}/docs/iniseal.1"
                  ERROR_VARIABLE warnings RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR warnings)
    message(FATAL_ERROR "man page: ${warnings}")
  endif()
endif()

function(make_windows_zip)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DOUTPUT_DIR=${SCRATCH}/out
                          -DVERSION=${VERSION}
                          "-DBUILD_DIRS=${SCRATCH}/windows-x86;${SCRATCH}/windows-x64"
                          -P "${SOURCE_DIR}/cmake/windows-zip.cmake"
                  OUTPUT_QUIET RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "windows-zip failed")
  endif()
endfunction()
set(zip "${SCRATCH}/out/iniseal-${VERSION}-windows.zip")

# No Windows build: nothing made, and no failure.
make_windows_zip()
if(EXISTS "${zip}")
  message(FATAL_ERROR "a zip was made without a Windows build")
endif()

# Only the 32-bit build: the zip holds it and the README, and nothing else.
file(WRITE "${SCRATCH}/windows-x86/iniseal.exe" "MZ")
make_windows_zip()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${zip}" OUTPUT_VARIABLE listing)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" listing "${listing}")
list(FILTER listing EXCLUDE REGEX "/$")
list(SORT listing)
set(expected "iniseal-${VERSION}-windows/README.md" "iniseal-${VERSION}-windows/x86/iniseal.exe")
if(NOT listing STREQUAL expected)
  message(FATAL_ERROR "zip holds: ${listing}")
endif()

file(REMOVE_RECURSE "${SCRATCH}")
