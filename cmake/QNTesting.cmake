# SPDX-License-Identifier: MIT
include(GoogleTest)

# qn_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS label [label=filter...]]
#              [TIMEOUT s] [WRAPPER cmd...] [ENV k=v...])
# A GoogleTest program whose tests ctest lists one by one (gtest_discover_tests),
# named <name>.<Suite>.<Case> (parameterised cases by their index, so a name
# never carries a pointer), each run as its own process. QNTestSupport's main()
# points HOME and the XDG folders at a fresh temporary folder for every run,
# and Qt runs offscreen.
# LABELS: "unit" (in-process, the default) or "e2e" (starts programs of the
# suite or real servers and peers); `ctest -L unit` is the quick pass. A
# program whose tests differ names the exceptions as label=gtest-filter, for
# example `LABELS unit e2e=LaunchServices.*:QNAuthorizeTest.*` (a positive
# filter; the other cases keep the first label).
# TIMEOUT bounds each test (default 300 s); a test that exits 77 or says
# "[  SKIPPED ]" counts as skipped. WRAPPER runs the program through another
# (umockdev-wrapper), ENV adds to its environment.
function(qn_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;WRAPPER;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE QNTestSupport ${T_LIBS})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/bin"
    BUILD_WITH_INSTALL_RPATH OFF
    BUILD_RPATH "${QN_STAGE_LIBDIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env
    "QT_QPA_PLATFORM=offscreen"
    "QN_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    "QN_STAGE_DIR=${QN_STAGE_DIR}"
    "QN_TEST_BIN_DIR=${CMAKE_BINARY_DIR}/tests/bin"
    ${T_ENV})
  if(QN_SANITIZE)
    list(APPEND env ${QN_SANITIZER_TEST_ENV})
  endif()
  # The environment and the wrapper go in front of the program as a launcher,
  # so that listing the tests (at ctest time, not while building) runs the
  # program exactly as the tests do.
  set(launcher ${CMAKE_COMMAND} -E env ${env} ${T_WRAPPER})
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")

  set(default_label "")
  set(exceptions "")
  foreach(entry IN LISTS T_LABELS)
    if(entry MATCHES "^([A-Za-z0-9_]+)=(.+)$")
      gtest_discover_tests(${name}
        TEST_FILTER "${CMAKE_MATCH_2}" TEST_PREFIX "${name}."
        DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 NO_PRETTY_VALUES
        PROPERTIES LABELS "${CMAKE_MATCH_1}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77)
      list(APPEND exceptions "${CMAKE_MATCH_2}")
    elseif(default_label)
      message(FATAL_ERROR "qn_add_gtest(${name}): one plain label, then label=filter entries")
    else()
      set(default_label "${entry}")
    endif()
  endforeach()
  if(NOT default_label)
    set(default_label unit)
  endif()
  set(filter "")
  if(exceptions)
    list(JOIN exceptions ":" filter)
    set(filter TEST_FILTER "-${filter}")
  endif()
  gtest_discover_tests(${name} ${filter} TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 NO_PRETTY_VALUES
    PROPERTIES LABELS "${default_label}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()

# qn_add_test_program(<name> SOURCES... LIBS...): a helper program that tests
# start as a real process (not a test by itself).
function(qn_add_test_program name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/bin"
    BUILD_WITH_INSTALL_RPATH OFF
    BUILD_RPATH "${QN_STAGE_LIBDIR}"
    ENABLE_EXPORTS ON)
endfunction()

