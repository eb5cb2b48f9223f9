# Zips the Windows builds that exist with the README, as
# iniseal-VERSION-windows.zip in OUTPUT_DIR:
#   iniseal-VERSION-windows/README.md
#   iniseal-VERSION-windows/x86/iniseal.exe   from build/windows-x86 (the shipped one)
#   iniseal-VERSION-windows/x64/iniseal.exe   from build/windows-x64
# Run as: cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... [-DBUILD_DIRS=a;b] -P windows-zip.cmake
# With no Windows build it says so and makes nothing, so it can run on any machine.

foreach(var SOURCE_DIR OUTPUT_DIR VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows-zip: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED BUILD_DIRS)
  set(BUILD_DIRS "${SOURCE_DIR}/build/windows-x86" "${SOURCE_DIR}/build/windows-x64")
endif()

set(name "iniseal-${VERSION}-windows")
set(stage "${OUTPUT_DIR}/_windows-zip")
set(zip "${OUTPUT_DIR}/${name}.zip")
file(REMOVE_RECURSE "${stage}")
file(REMOVE "${zip}")

set(found "")
foreach(dir IN LISTS BUILD_DIRS)
  if(EXISTS "${dir}/iniseal.exe")
    # "windows-x86" ships as x86/.
    get_filename_component(arch "${dir}" NAME)
    string(REGEX REPLACE "^windows-" "" arch "${arch}")
    file(COPY "${dir}/iniseal.exe" DESTINATION "${stage}/${name}/${arch}")
    list(APPEND found "${arch}")
  endif()
endforeach()

if(NOT found)
  message(STATUS "windows-zip: no Windows build (looked in ${BUILD_DIRS}); no zip made")
  return()
endif()

file(COPY "${SOURCE_DIR}/README.md" DESTINATION "${stage}/${name}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${zip}" --format=zip "${name}"
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
file(REMOVE_RECURSE "${stage}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "windows-zip: making ${zip} failed")
endif()
message(STATUS "windows-zip: ${zip} (${found})")
