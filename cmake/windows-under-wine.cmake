# In the native build: cross-builds the Windows exes beside it and runs their
# tests under Wine (ctest label "wine"; the exe checks carry "windows"). Where
# MinGW-w64 or Wine is missing, one test says so and is skipped.
include(ExternalProject)

find_program(INISEAL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(INISEAL_WINE NAMES wine64 wine)
find_program(INISEAL_WINESERVER NAMES wineserver PATHS /usr/lib/wine)
find_program(INISEAL_MINGW_X64 NAMES x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++)
find_program(INISEAL_MINGW_X86 NAMES i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++)
find_program(INISEAL_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump)

set(missing "")
foreach(tool INISEAL_WINE INISEAL_WINESERVER INISEAL_MINGW_X64 INISEAL_MINGW_X86
        INISEAL_MINGW_OBJDUMP)
  if(NOT ${tool})
    list(APPEND missing ${tool})
  endif()
endforeach()
if(missing)
  list(JOIN missing ", " missing)
  message(STATUS "Windows build tests skipped: not found: ${missing}")
  add_test(NAME wine.skipped
           COMMAND sh -c "echo 'skipped: the Windows build and its tests under Wine need MinGW-w64 and Wine (not found: ${missing})'; exit 77")
  set_tests_properties(wine.skipped PROPERTIES SKIP_RETURN_CODE 77 LABELS wine)
  return()
endif()

# The same binary directories as the windows-x86 and windows-x64 presets.
set(INISEAL_WINDOWS_x64_DIR ${PROJECT_SOURCE_DIR}/build/windows-x64)
set(INISEAL_WINDOWS_x86_DIR ${PROJECT_SOURCE_DIR}/build/windows-x86)
foreach(arch x64 x86)
  if(arch STREQUAL x64)
    set(toolchain toolchain-mingw-x86_64.cmake)
  else()
    set(toolchain toolchain-mingw-i686.cmake)
  endif()
  ExternalProject_Add(windows_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${INISEAL_WINDOWS_${arch}_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}
               -DCMAKE_BUILD_TYPE=MinSizeRel -DINISEAL_BUILD_TESTS=OFF
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endforeach()
set(INISEAL_WINDOWS_TOOL ${INISEAL_WINDOWS_x64_DIR}/iniseal.exe)
set(INISEAL_WIN32_PROBE ${INISEAL_WINDOWS_x64_DIR}/win32_probe.exe)

# Runs a Windows program under Wine in the build's own prefix, quietly.
set(INISEAL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(INISEAL_WINE_RUNNER ${CMAKE_BINARY_DIR}/wine-run)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${INISEAL_WINE_RUNNER} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# One persistent wine server for all tests: starting Wine is then fast.
add_test(NAME wine.start COMMAND ${INISEAL_WINE_RUNNER} --start)
add_test(NAME wine.stop COMMAND ${INISEAL_WINE_RUNNER} --stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

foreach(arch x64 x86)
  add_test(NAME windows.${arch}.exe
           COMMAND ${CMAKE_COMMAND} -DEXE=${INISEAL_WINDOWS_${arch}_DIR}/iniseal.exe -DARCH=${arch}
                   -DOBJDUMP=${INISEAL_MINGW_OBJDUMP} -P ${PROJECT_SOURCE_DIR}/cmake/check-exe.cmake)
  set_tests_properties(windows.${arch}.exe PROPERTIES LABELS windows)
endforeach()
