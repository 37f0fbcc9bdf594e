# Native build: the framework runs against the simulated Windows machine; tests and benchmarks.
if(KES_SANITIZE)
  set(KES_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${KES_SAN_FLAGS})
  add_link_options(${KES_SAN_FLAGS})
  # Re-apply to targets created before this file was read.
  target_compile_options(kes_framework PRIVATE ${KES_SAN_FLAGS})
endif()

file(GLOB_RECURSE KES_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/sim/*.cpp)
add_library(kes_platform_sim STATIC ${KES_SIM_SOURCES})
target_include_directories(kes_platform_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kes_platform_sim PRIVATE ${KES_WARNINGS})
target_link_libraries(kes_platform_sim PUBLIC kes_framework)
# The simulated machine carries the same registry files the Windows exe embeds.
if(TARGET kes_resources_generated)
  add_dependencies(kes_platform_sim kes_resources_generated)
  target_sources(kes_platform_sim PRIVATE ${KES_SB_CPP})
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# One test executable per label folder: tests/<label>/*.cpp -> test_<label>, CTest label <label>.
file(GLOB KES_TEST_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${KES_TEST_DIRS})
  if(IS_DIRECTORY ${dir})
    get_filename_component(label ${dir} NAME)
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(srcs)
      string(REPLACE "-" "_" exe test_${label})
      add_executable(${exe} ${srcs})
      target_compile_options(${exe} PRIVATE ${KES_WARNINGS})
      target_link_libraries(${exe} PRIVATE kes_platform_sim kes_framework GTest::gtest GTest::gtest_main)
      # Each test gets 15 minutes: the lifecycle model check of one Windows release takes a few
      # minutes in the sanitizer build, more on a busy machine.
      gtest_discover_tests(${exe} PROPERTIES LABELS ${label} TIMEOUT 900 DISCOVERY_TIMEOUT 60)
    endif()
    file(GLOB wine_scripts CONFIGURE_DEPENDS ${dir}/*.wine.sh)
    foreach(script ${wine_scripts})
      get_filename_component(name ${script} NAME_WE)
      add_test(NAME wine.${label}.${name} COMMAND bash ${script} ${CMAKE_SOURCE_DIR})
      set_tests_properties(wine.${label}.${name} PROPERTIES
        LABELS "${label};wine" SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK wine)
    endforeach()
    # Plain shell checks (no Wine): tests/<label>/*.test.sh, same argument and skip code.
    file(GLOB shell_scripts CONFIGURE_DEPENDS ${dir}/*.test.sh)
    foreach(script ${shell_scripts})
      get_filename_component(name ${script} NAME_WE)
      add_test(NAME sh.${label}.${name} COMMAND bash ${script} ${CMAKE_SOURCE_DIR})
      set_tests_properties(sh.${label}.${name} PROPERTIES
        LABELS "${label}" SKIP_RETURN_CODE 77 TIMEOUT 300)
    endforeach()
  endif()
endforeach()

find_package(benchmark QUIET)
file(GLOB KES_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(benchmark_FOUND AND KES_BENCH_SOURCES)
  add_executable(kes_bench ${KES_BENCH_SOURCES})
  target_link_libraries(kes_bench PRIVATE kes_platform_sim kes_framework benchmark::benchmark benchmark::benchmark_main)
endif()
