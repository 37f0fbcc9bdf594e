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
kes_sanitize(kes_framework)

file(GLOB_RECURSE KES_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/sim/*.cpp)
add_library(kes_platform_sim STATIC ${KES_SIM_SOURCES})
target_include_directories(kes_platform_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kes_platform_sim PRIVATE ${KES_WARNINGS})
target_link_libraries(kes_platform_sim PUBLIC kes_framework)
kes_sanitize(kes_platform_sim)
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
      target_compile_definitions(${exe} PRIVATE KES_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
      kes_sanitize(${exe})
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
  kes_sanitize(kes_bench)
endif()

# The lifecycle model check plays tens of thousands of program runs. Besides its run in the test
# build above (sequences of two steps), it runs sequences of four steps in a build of its own:
# the framework, the program and the simulated machine compiled again, optimized and without the
# sanitizers, which makes it some twenty times faster. GCC 12 reports false "restrict" overlaps
# inside libstdc++'s string code at -O2, hence -Wno-restrict there.
set(KES_MODEL_FLAGS ${KES_WARNINGS} -O2 -Wno-restrict)
add_library(kes_model_code STATIC ${KES_FRAMEWORK_SOURCES} ${KES_SIM_SOURCES})
target_include_directories(kes_model_code PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kes_model_code PRIVATE ${KES_MODEL_FLAGS})
if(TARGET kes_resources_generated)
  add_dependencies(kes_model_code kes_resources_generated)
  target_sources(kes_model_code PRIVATE ${KES_SB_CPP})
endif()
add_executable(lifecycle_model
  ${CMAKE_SOURCE_DIR}/tests/safe-boot/lifecycle_model.cpp
  ${CMAKE_SOURCE_DIR}/tests/safe-boot/lifecycle_model_test.cpp)
target_compile_options(lifecycle_model PRIVATE ${KES_MODEL_FLAGS})
target_link_libraries(lifecycle_model PRIVATE kes_model_code GTest::gtest GTest::gtest_main)
gtest_discover_tests(lifecycle_model TEST_PREFIX "deep." TEST_FILTER "LifecycleModel.Windows*"
  PROPERTIES LABELS safe-boot ENVIRONMENT KES_LIFECYCLE_STEPS=4 TIMEOUT 900 DISCOVERY_TIMEOUT 60)
