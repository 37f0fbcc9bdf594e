# The five SafeBoot registry files are generated from the readable lists in resources/safeboot by
# a small host tool (tools/sbgen). It is compiled with the build machine's own C++ compiler, so the
# same step works for the native build and for the mingw cross builds.
set(KES_SB_OUT ${CMAKE_BINARY_DIR}/safeboot)
file(MAKE_DIRECTORY ${KES_SB_OUT})
find_program(KES_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(KES_SBGEN ${KES_SB_OUT}/sbgen${CMAKE_HOST_EXECUTABLE_SUFFIX})
add_custom_command(OUTPUT ${KES_SBGEN}
  COMMAND ${KES_HOST_CXX} -std=c++17 -O1 ${CMAKE_SOURCE_DIR}/tools/sbgen/sbgen.cpp -o ${KES_SBGEN}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/sbgen/sbgen.cpp
  COMMENT "Building the host tool sbgen")
file(GLOB KES_SB_LISTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/safeboot/*.tsv)
set(KES_SB_REG_FILES ${KES_SB_OUT}/sb_10.reg ${KES_SB_OUT}/sb_8.reg ${KES_SB_OUT}/sb_7.reg
  ${KES_SB_OUT}/sb_v.reg ${KES_SB_OUT}/sb_xp.reg)
set(KES_SB_RC ${KES_SB_OUT}/safeboot.rc)
set(KES_SB_CPP ${KES_SB_OUT}/safeboot_resources.cpp)
add_custom_command(OUTPUT ${KES_SB_REG_FILES} ${KES_SB_RC} ${KES_SB_CPP}
  COMMAND ${KES_SBGEN} ${CMAKE_SOURCE_DIR}/resources/safeboot ${KES_SB_OUT}
  DEPENDS ${KES_SBGEN} ${KES_SB_LISTS}
  COMMENT "Generating the SafeBoot registry files")
add_custom_target(kes_resources_generated DEPENDS ${KES_SB_REG_FILES} ${KES_SB_RC} ${KES_SB_CPP})
