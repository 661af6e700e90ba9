# SPDX-License-Identifier: MIT
# qn_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [WRAPPER cmd...] [ENV k=v...])
# A GoogleTest program run by ctest. QNTestSupport's main() points HOME and the
# XDG folders at a fresh temporary folder for every test program, and Qt runs
# offscreen.
function(qn_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;WRAPPER;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE QNTestSupport ${T_LIBS})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/bin"
    BUILD_WITH_INSTALL_RPATH OFF
    BUILD_RPATH "${QN_STAGE_LIBDIR}")
  add_test(NAME ${name} COMMAND ${T_WRAPPER} $<TARGET_FILE:${name}>)
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
    # The crash recorder is under test: ASan must leave the fatal signals to it.
    list(APPEND env "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:use_sigaltstack=0")
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
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
