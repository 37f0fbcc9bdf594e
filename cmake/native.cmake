# Native build: the framework runs against the simulated Windows machine; tests and benchmarks.
if(KES_SANITIZE)
  set(KES_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
endif()
# Builds one of our native targets with the sanitizers, when they are on.
function(kes_sanitize target)
  if(KES_SAN_FLAGS)
    target_compile_options(${target} PRIVATE ${KES_SAN_FLAGS})
    target_link_options(${target} PRIVATE ${KES_SAN_FLAGS})
  endif()
endfunction()
foreach(lib kes_base kes_framework kes_app)
  kes_sanitize(${lib})
endforeach()

file(GLOB_RECURSE KES_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/sim/*.cpp)
add_library(kes_platform_sim STATIC ${KES_SIM_SOURCES})
target_compile_options(kes_platform_sim PRIVATE ${KES_WARNINGS})
target_link_libraries(kes_platform_sim PUBLIC kes_platform_api)
kes_sanitize(kes_platform_sim)
# The simulated machine carries the same registry files the Windows exe embeds.
if(TARGET kes_resources_generated)
  add_dependencies(kes_platform_sim kes_resources_generated)
  target_sources(kes_platform_sim PRIVATE ${KES_SB_CPP})
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
include(${CMAKE_SOURCE_DIR}/cmake/test_scripts.cmake)

# Tests that prove one piece of work carry its label too: a test suite whose name holds the tag
# (TEST_F(LaunchFailurePaths, ...)) is also labelled failure-paths. The labels are given by a
# script CTest reads after the discovered tests (cmake/tag_labels.cmake.in).
set(KES_TAG_LABELS FailurePaths=failure-paths ShippedExe=shipped-exe SafeElevated=safe-elevated
    BootIni=bootini LaunchPerms=launch-perms EnvSearch=env-search Polish=polish
    Robustness=robustness)
# Labels the tests of list `${list}_TESTS` (area `label`) whose suite names hold a tag.
function(kes_tag_labels list label)
  set(KES_TAG_LIST ${list}_TESTS)
  set(KES_TAG_AREA ${label})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/tag_labels.cmake.in
    ${CMAKE_BINARY_DIR}/${list}_tag_labels.cmake @ONLY)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
    ${CMAKE_BINARY_DIR}/${list}_tag_labels.cmake)
endfunction()
function(kes_discover_gtests exe label)
  gtest_discover_tests(${exe} TEST_LIST ${exe}_TESTS PROPERTIES LABELS ${label} TIMEOUT 900
    DISCOVERY_TIMEOUT 60)
  kes_tag_labels(${exe} ${label})
endfunction()

# tests/ mirrors the sources: one test program per folder of unit tests, named and labelled after
# the folder (tests/framework/fs -> test_fs, label fs). Their one fixture: tests/support/machine_fixture.h.
set(KES_UNIT_TEST_DIRS app framework/debug framework/env framework/fs framework/process
    framework/registry framework/util platform/sim model)
foreach(rel ${KES_UNIT_TEST_DIRS})
  get_filename_component(label ${rel} NAME)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${rel}/*.cpp)
  if(srcs)
    set(exe test_${label})
    add_executable(${exe} ${srcs})
    target_compile_options(${exe} PRIVATE ${KES_WARNINGS})
    target_link_libraries(${exe} PRIVATE kes_app kes_platform_sim GTest::gtest GTest::gtest_main)
    target_compile_definitions(${exe} PRIVATE KES_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    kes_sanitize(${exe})
    # Each test gets 15 minutes: the lifecycle model check of one Windows release takes a few
    # minutes in the sanitizer build, more on a busy machine.
    kes_discover_gtests(${exe} ${label})
  endif()
endforeach()
kes_add_test_scripts()

find_package(benchmark QUIET)
file(GLOB KES_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(benchmark_FOUND AND KES_BENCH_SOURCES)
  add_executable(kes_bench ${KES_BENCH_SOURCES})
  target_link_libraries(kes_bench PRIVATE kes_app kes_platform_sim benchmark::benchmark benchmark::benchmark_main)
  kes_sanitize(kes_bench)
endif()

# The lifecycle model check plays tens of thousands of program runs. Besides its run in the test
# build above (sequences of two steps), it runs sequences of four steps in a build of its own:
# the framework, the program and the simulated machine compiled again, optimized and without the
# sanitizers, which makes it some twenty times faster. GCC 12 reports false "restrict" overlaps
# inside libstdc++'s string code at -O2, hence -Wno-restrict there.
set(KES_MODEL_FLAGS ${KES_WARNINGS} -O2 -Wno-restrict)
add_library(kes_model_code STATIC ${KES_BASE_SOURCES} ${KES_FRAMEWORK_SOURCES} ${KES_APP_SOURCES}
  ${KES_SIM_SOURCES})
target_include_directories(kes_model_code PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kes_model_code PRIVATE ${KES_MODEL_FLAGS})
if(TARGET kes_resources_generated)
  add_dependencies(kes_model_code kes_resources_generated)
  target_sources(kes_model_code PRIVATE ${KES_SB_CPP})
endif()
# The fuzz test of the dispatch plays its 100,000 argument texts there too.
add_executable(lifecycle_model
  ${CMAKE_SOURCE_DIR}/tests/model/lifecycle_model.cpp
  ${CMAKE_SOURCE_DIR}/tests/model/lifecycle_model_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/model/dispatch_fuzz_test.cpp)
target_compile_options(lifecycle_model PRIVATE ${KES_MODEL_FLAGS})
target_compile_definitions(lifecycle_model PRIVATE KES_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(lifecycle_model PRIVATE kes_model_code GTest::gtest GTest::gtest_main)
gtest_discover_tests(lifecycle_model TEST_PREFIX "deep." TEST_FILTER "LifecycleModel.Windows*"
  PROPERTIES LABELS model ENVIRONMENT KES_LIFECYCLE_STEPS=4 TIMEOUT 900 DISCOVERY_TIMEOUT 60)
gtest_discover_tests(lifecycle_model TEST_PREFIX "deep." TEST_FILTER "DispatchFuzz*"
  TEST_LIST lifecycle_fuzz_TESTS PROPERTIES LABELS model ENVIRONMENT KES_FUZZ_TEXTS=100000
  TIMEOUT 900 DISCOVERY_TIMEOUT 60)
kes_tag_labels(lifecycle_fuzz model)
