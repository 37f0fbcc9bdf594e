# Windows build (mingw-w64): the real program and the framework's end-to-end test driver.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

file(GLOB_RECURSE KES_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)
add_library(kes_platform_win32 STATIC ${KES_WIN32_SOURCES})
target_compile_options(kes_platform_win32 PRIVATE ${KES_WARNINGS})
target_link_libraries(kes_platform_win32 PUBLIC kes_platform_api)
target_compile_definitions(kes_platform_win32 PRIVATE UNICODE _UNICODE)
set(KES_WIN32_LIBS shlwapi shell32 advapi32 user32 gdi32 comctl32 mpr netapi32 userenv version
    ole32 oleaut32 wbemuuid winmm imagehlp psapi)

# The DLLs whose first call comes after the main window is up (account queries, WMI, the
# recursive folder maker, the launchers' timer) are loaded at that call: start-up pays neither
# for mapping and initialising them nor for what they import in turn (the network libraries, the
# audio codec manager). Kestrune.exe links a delay-import library for each
# (cmake/delay_import.cmake) and the delay-load helper; tests/exe/imports.test.sh checks that
# they stay out of the import table.
set(KES_DELAY_LOADED netapi32 ole32 oleaut32 imagehlp winmm)
set(KES_KESTRUNE_LIBS "")
foreach(lib ${KES_WIN32_LIBS})
  if(NOT lib IN_LIST KES_DELAY_LOADED)
    list(APPEND KES_KESTRUNE_LIBS ${lib})
    continue()
  endif()
  find_library(KES_IMPORT_LIB_${lib} NAMES lib${lib}.a REQUIRED)
  set(delay_lib ${CMAKE_BINARY_DIR}/delay/lib${lib}_delay.a)
  add_custom_command(OUTPUT ${delay_lib}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
      -DIMPORT_LIB=${KES_IMPORT_LIB_${lib}} -DDLL=${lib}.dll
      -DI686=$<STREQUAL:${CMAKE_SYSTEM_PROCESSOR},i686> -DOUT=${delay_lib}
      -P ${CMAKE_SOURCE_DIR}/cmake/delay_import.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delay_import.cmake ${KES_IMPORT_LIB_${lib}}
    COMMENT "Delay-import library for ${lib}.dll" VERBATIM)
  list(APPEND KES_DELAY_LIBS ${delay_lib})
  list(APPEND KES_KESTRUNE_LIBS ${delay_lib})
endforeach()
add_custom_target(kes_delay_libs DEPENDS ${KES_DELAY_LIBS})
list(APPEND KES_KESTRUNE_LIBS delayimp)

set(KES_STATIC_LINK -static -static-libgcc -static-libstdc++ -municode -mwindows)

# FILEVERSION needs four numbers; a project version of three gets a build number of 0.
set(KES_VERSION_PATCH "${PROJECT_VERSION_PATCH}")
set(KES_VERSION_TWEAK "${PROJECT_VERSION_TWEAK}")
if("${KES_VERSION_PATCH}" STREQUAL "")
  set(KES_VERSION_PATCH 0)
endif()
if("${KES_VERSION_TWEAK}" STREQUAL "")
  set(KES_VERSION_TWEAK 0)
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
# windres reports no dependencies of its own: rebuild the resources when the manifest changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/kestrune.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/kestrune.manifest)

add_executable(Kestrune ${CMAKE_SOURCE_DIR}/app/winmain.cpp
  ${CMAKE_BINARY_DIR}/version.rc ${CMAKE_SOURCE_DIR}/resources/kestrune.rc)
set_target_properties(Kestrune PROPERTIES OUTPUT_NAME Kestrune SUFFIX .exe)
# The SafeBoot registry files, generated at build time (cmake/safeboot_resources.cmake).
target_sources(Kestrune PRIVATE ${KES_SB_RC})
set_source_files_properties(${KES_SB_RC} PROPERTIES GENERATED TRUE
  OBJECT_DEPENDS "${KES_SB_REG_FILES}")
add_dependencies(Kestrune kes_resources_generated)
# The window icon, drawn at build time (cmake/icon_resources.cmake).
include(${CMAKE_SOURCE_DIR}/cmake/icon_resources.cmake)
target_compile_options(Kestrune PRIVATE ${KES_WARNINGS})
target_compile_definitions(Kestrune PRIVATE UNICODE _UNICODE)
target_include_directories(Kestrune PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR})
add_dependencies(Kestrune kes_delay_libs)
target_link_libraries(Kestrune PRIVATE kes_app -Wl,--whole-archive kes_platform_win32
  -Wl,--no-whole-archive ${KES_KESTRUNE_LIBS})
target_link_options(Kestrune PRIVATE ${KES_STATIC_LINK} -s)

# framework_e2e.exe: the framework driven through scenarios on the real back-end under Wine, by
# the scripts beside it in tests/e2e; a console program of its own so Kestrune.exe keeps exactly
# its switch table. Each scenario is one file there.
file(GLOB KES_E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
if(KES_E2E_SOURCES)
  add_executable(framework_e2e ${KES_E2E_SOURCES} ${CMAKE_BINARY_DIR}/version.rc)
  target_compile_options(framework_e2e PRIVATE ${KES_WARNINGS})
  target_compile_definitions(framework_e2e PRIVATE UNICODE _UNICODE)
  target_link_libraries(framework_e2e PRIVATE kes_framework -Wl,--whole-archive kes_platform_win32
    -Wl,--no-whole-archive ${KES_WIN32_LIBS})
  target_link_options(framework_e2e PRIVATE -static -static-libgcc -static-libstdc++ -municode)
endif()

# bcdedit_double.exe: a recording stand-in for bcdedit.exe that the Wine tests put in the prefix's
# System32 (Wine has no bcdedit.exe of its own).
add_executable(bcdedit_double ${CMAKE_SOURCE_DIR}/tests/support/bcdedit_double.c)
target_compile_options(bcdedit_double PRIVATE ${KES_WARNINGS})
target_compile_definitions(bcdedit_double PRIVATE UNICODE _UNICODE)
target_link_options(bcdedit_double PRIVATE -static -static-libgcc -municode)

# hello.exe: the smallest static window program, the yardstick bench/startup_wine.sh measures
# Kestrune.exe's start-up against; built and linked like Kestrune.exe. hello_styled.exe is the same
# program with Kestrune.exe's manifest: the floor the manifest (visual styles) sets.
function(kes_hello_window target output_name)
  add_executable(${target} ${CMAKE_SOURCE_DIR}/tests/support/hello_window.c ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name} SUFFIX .exe)
  target_compile_options(${target} PRIVATE ${KES_WARNINGS})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
  target_link_libraries(${target} PRIVATE user32 gdi32)
  target_link_options(${target} PRIVATE ${KES_STATIC_LINK} -s)
endfunction()
kes_hello_window(hello_window hello)
kes_hello_window(hello_styled hello_styled ${CMAKE_SOURCE_DIR}/tests/support/hello_styled.rc)
target_include_directories(hello_styled PRIVATE ${CMAKE_SOURCE_DIR}/resources)
set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/support/hello_styled.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/kestrune.manifest)
