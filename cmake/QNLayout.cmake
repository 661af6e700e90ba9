# The build tree is staged exactly like the install layout, so programs find
# each other and their resources relative to their own binary in both places:
#   bin/  lib/  lib/qml/  libexec/qnlab/  share/qnlab/  share/applications/
set(QN_STAGE_DIR "${CMAKE_BINARY_DIR}/stage")
set(QN_LIBEXEC_SUBDIR "libexec/qnlab")
set(QN_SHARE_SUBDIR "share/qnlab")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${QN_STAGE_DIR}/bin")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${QN_STAGE_DIR}/lib")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/archive")
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
set(CMAKE_SKIP_BUILD_RPATH OFF)
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)

# qn_add_library(<name> [SOURCES...]): a shared library lib<name>.so in lib/.
function(qn_add_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(QN::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${name} LIBRARY DESTINATION lib)
endfunction()

# qn_add_program(<name> [LIBEXEC] SOURCES...): a program in bin/, or in
# libexec/qnlab/ with LIBEXEC. Programs are linked with -rdynamic so crash
# backtraces carry function names.
function(qn_add_program name)
  cmake_parse_arguments(P "LIBEXEC" "" "SOURCES" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  if(P_LIBEXEC)
    set_target_properties(${name} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${QN_STAGE_DIR}/${QN_LIBEXEC_SUBDIR}"
      INSTALL_RPATH "$ORIGIN/../../lib")
    install(TARGETS ${name} RUNTIME DESTINATION ${QN_LIBEXEC_SUBDIR})
  else()
    set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
    install(TARGETS ${name} RUNTIME DESTINATION bin)
  endif()
endfunction()

# qn_stage_file(<source> <relative destination folder>): copies a resource into
# the staged tree at build time and installs it to the same place.
function(qn_stage_file src destdir)
  get_filename_component(fname "${src}" NAME)
  get_filename_component(abs "${src}" ABSOLUTE)
  set(out "${QN_STAGE_DIR}/${destdir}/${fname}")
  string(MAKE_C_IDENTIFIER "stage_${destdir}_${fname}" tgt)
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${abs}" "${out}"
    DEPENDS "${abs}" VERBATIM)
  add_custom_target(${tgt} ALL DEPENDS "${out}")
  install(FILES "${abs}" DESTINATION "${destdir}")
endfunction()

# qn_add_subdirectories([EXCEPT names...]): adds every folder below the current
# one that has a CMakeLists.txt, in name order. New pieces need no edit of a
# shared list.
function(qn_add_subdirectories)
  cmake_parse_arguments(S "" "" "EXCEPT" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(NOT child IN_LIST S_EXCEPT AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
