# add_unit_test(<name> SOURCES <file>... [LIBRARIES <lib>...] [DEFINITIONS <def>...]
#               [DEPENDS <target>...] [OFFSCREEN] [WIDGETS_MAIN | MAIN <file>]
#               [TIMEOUT <seconds>] [LABELS <label>] [SERIAL <gtest filter>])
#
# One GoogleTest program and its discovered tests. It links the shared test
# support and gtest, with gtest's own main unless WIDGETS_MAIN asks for the
# shared QApplication one or MAIN names the program's own; takes the project's
# warnings; and runs each test with a generous timeout. OFFSCREEN runs the
# tests on Qt's offscreen platform. LABELS gives every test that ctest label;
# the tests SERIAL matches run alone (RUN_SERIAL), for those that measure time.
function(add_unit_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OFFSCREEN;WIDGETS_MAIN" "TIMEOUT;MAIN;LABELS;SERIAL"
                        "SOURCES;LIBRARIES;DEFINITIONS;DEPENDS")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "add_unit_test(${name}): needs SOURCES; unknown: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_WIDGETS_MAIN)
    list(APPEND arg_SOURCES "${PROJECT_SOURCE_DIR}/Tests/Support/WidgetsTestMain.cpp")
  elseif(arg_MAIN)
    list(APPEND arg_SOURCES "${arg_MAIN}")
  else()
    list(APPEND arg_LIBRARIES GTest::gtest_main)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE StaywakeTestSupport ${arg_LIBRARIES})
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  staywake_target_warnings(${name})

  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${arg_TIMEOUT})
  if(arg_OFFSCREEN)
    list(APPEND properties ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  endif()
  if(arg_LABELS)
    list(APPEND properties LABELS ${arg_LABELS})
  endif()
  if(arg_SERIAL)
    gtest_discover_tests(${name} TEST_FILTER "${arg_SERIAL}" DISCOVERY_TIMEOUT 60
                         PROPERTIES ${properties} RUN_SERIAL TRUE)
    gtest_discover_tests(${name} TEST_FILTER "-${arg_SERIAL}" DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()
