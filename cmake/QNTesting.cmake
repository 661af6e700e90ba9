# SPDX-License-Identifier: MIT
include(GoogleTest)

# A test program's files are compiled as one (a unity build): the GoogleTest
# and Qt templates they share are instantiated once per program, not once per
# file. A file that includes GLib cannot share a unit with Qt's headers (GLib's
# "signals" members against Qt's keyword) and is compiled alone. Types in
# anonymous namespaces of the included files would each draw a
# -Wsubobject-linkage warning, which says nothing in one unit.
option(QN_UNITY_TESTS "Compile each test program's files as one unit" ON)
function(_qn_test_unity_build target)
  if(NOT QN_UNITY_TESTS)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  qn_mark_glib_users(${target} SKIP_UNITY_BUILD_INCLUSION)
endfunction()

# qn_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS label [label=filter...]]
#              [TIMEOUT s] [WRAPPER cmd...] [ENV k=v...] [RESOURCE_LOCK name...])
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
# (umockdev-wrapper), ENV adds to its environment. RESOURCE_LOCK keeps its tests
# from running beside other tests that hold the same lock (for example tests
# that start a process whose name other programs look for).
function(qn_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;WRAPPER;ENV;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE QNTestSupport ${T_LIBS})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/bin"
    BUILD_WITH_INSTALL_RPATH OFF
    BUILD_RPATH "${QN_STAGE_LIBDIR}")
  _qn_test_unity_build(${name})
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

  set(lock "")
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()

  set(default_label "")
  set(exceptions "")
  foreach(entry IN LISTS T_LABELS)
    if(entry MATCHES "^([A-Za-z0-9_]+)=(.+)$")
      gtest_discover_tests(${name}
        TEST_FILTER "${CMAKE_MATCH_2}" TEST_PREFIX "${name}."
        DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 NO_PRETTY_VALUES
        PROPERTIES LABELS "${CMAKE_MATCH_1}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77 ${lock})
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
    PROPERTIES LABELS "${default_label}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77 ${lock})
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

