# Test scripts, found anywhere under tests/ and run with the source folder as their argument;
# exit code 77 means skipped. A script is labelled after its folder (tests/app -> app), or with
# the areas its "# labels: a b" line names (the end-to-end scenarios of tests/e2e test several).
#   *.wine.sh  run a Windows exe under Wine: label wine as well, and one at a time (they share
#              the X display and Wine's desktop)
#   *.test.sh  plain shell checks of the build and its outputs
function(kes_script_labels script out)
  file(STRINGS ${script} declared REGEX "^# labels: " LIMIT_COUNT 1)
  if(declared)
    string(REGEX REPLACE "^# labels: *" "" labels "${declared}")
    string(REGEX REPLACE "[ ,]+" ";" labels "${labels}")
  else()
    get_filename_component(dir ${script} DIRECTORY)
    get_filename_component(labels ${dir} NAME)
  endif()
  set(${out} "${labels}" PARENT_SCOPE)
endfunction()

function(kes_add_test_scripts)
  file(GLOB_RECURSE wine_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.wine.sh)
  foreach(script ${wine_scripts})
    get_filename_component(name ${script} NAME_WE)
    kes_script_labels(${script} labels)
    list(GET labels 0 first)
    add_test(NAME wine.${first}.${name} COMMAND bash ${script} ${CMAKE_SOURCE_DIR})
    set_tests_properties(wine.${first}.${name} PROPERTIES
      LABELS "${labels};wine" SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK wine)
  endforeach()
  file(GLOB_RECURSE shell_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.test.sh)
  foreach(script ${shell_scripts})
    get_filename_component(name ${script} NAME_WE)
    kes_script_labels(${script} labels)
    list(GET labels 0 first)
    add_test(NAME sh.${first}.${name} COMMAND bash ${script} ${CMAKE_SOURCE_DIR})
    set_tests_properties(sh.${first}.${name} PROPERTIES
      LABELS "${labels}" SKIP_RETURN_CODE 77 TIMEOUT 300)
  endforeach()
endfunction()
