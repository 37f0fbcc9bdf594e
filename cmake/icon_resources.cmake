# The window icon (icon group "A1" of resources/kestrune.rc) is drawn at build time by a small host
# tool (tools/icogen), compiled with the build machine's own C++ compiler like tools/sbgen. The
# resource script finds the generated kestrune.ico through Kestrune's include folder
# ${CMAKE_BINARY_DIR}, which windres also searches for the files a script names.
set(KES_ICOGEN ${CMAKE_BINARY_DIR}/icogen${CMAKE_HOST_EXECUTABLE_SUFFIX})
set(KES_ICON ${CMAKE_BINARY_DIR}/kestrune.ico)
add_custom_command(OUTPUT ${KES_ICOGEN}
  COMMAND ${KES_HOST_CXX} -std=c++17 -O1 ${CMAKE_SOURCE_DIR}/tools/icogen/icogen.cpp -o ${KES_ICOGEN}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/icogen/icogen.cpp
  COMMENT "Building the host tool icogen")
add_custom_command(OUTPUT ${KES_ICON}
  COMMAND ${KES_ICOGEN} ${KES_ICON}
  DEPENDS ${KES_ICOGEN}
  COMMENT "Drawing the window icon")
add_custom_target(kes_icon_generated DEPENDS ${KES_ICON})
add_dependencies(Kestrune kes_icon_generated)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/kestrune.rc APPEND PROPERTY OBJECT_DEPENDS ${KES_ICON})
