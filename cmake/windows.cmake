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
target_link_libraries(Kestrune PRIVATE kes_app -Wl,--whole-archive kes_platform_win32
  -Wl,--no-whole-archive ${KES_WIN32_LIBS})
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
# Kestrune.exe's start-up against; built and linked like Kestrune.exe.
add_executable(hello_window ${CMAKE_SOURCE_DIR}/tests/support/hello_window.c)
set_target_properties(hello_window PROPERTIES OUTPUT_NAME hello SUFFIX .exe)
target_compile_options(hello_window PRIVATE ${KES_WARNINGS})
target_compile_definitions(hello_window PRIVATE UNICODE _UNICODE)
target_link_libraries(hello_window PRIVATE user32 gdi32)
target_link_options(hello_window PRIVATE ${KES_STATIC_LINK} -s)
