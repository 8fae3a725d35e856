# pelto_module(NAME name SOURCES ... DEPS ...): one static library per module folder, included as
# "<folder>/<header>.h" from the repository root (e.g. #include "interfaces/crdt/document.h").
function(pelto_module)
  cmake_parse_arguments(M "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_library(${M_NAME} STATIC ${M_SOURCES})
  target_include_directories(${M_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${M_NAME} PUBLIC ${M_DEPS})
endfunction()

# pelto_tests(NAME name LABEL label SOURCES ... DEPS ...): one GoogleTest binary; every test carries
# the module's label so `ctest -L label` runs one module.
function(pelto_tests)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_DEPS} GTest::gmock GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} DISCOVERY_TIMEOUT 60)
  # gtest_discover_tests keeps only the first item of a list-valued property, so the labels are
  # set on the discovered tests by a script CTest includes after discovery.
  set(labels "${T_LABEL}")
  if(T_LABELS)
    list(APPEND labels ${T_LABELS})
  endif()
  list(JOIN labels "\\;" joined)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${script}
    "foreach(t IN LISTS ${T_NAME}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${joined}\")\nendforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
