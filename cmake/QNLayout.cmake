# SPDX-License-Identifier: MIT
# The install layout, stated once. Directories come from GNUInstallDirs (and
# from Qt for the QML import folder); src/platform/layout/BundleLayout.h.in
# receives them, and Bundle resolves every piece of the suite from them,
# relative to the running binary. The build tree's stage/ folder has exactly
# the installed layout, plus lib/qml/ for `qml -I build/stage/lib/qml`:
#   bin/  <libdir>/qnlab/  <Qt qml dir>/QNTraylift/  libexec/qnlab/  share/qnlab/
#   share/applications/  share/icons/hicolor/  share/metainfo/  share/man/man1/
include(GNUInstallDirs)

# A directory relative to the prefix, or a fatal error: programs find each
# other by path arithmetic from their own location, so every folder must lie
# below the prefix.
function(qn_relative_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    file(RELATIVE_PATH rel "${CMAKE_INSTALL_PREFIX}" "${dir}")
    if(rel MATCHES "^\\.\\.")
      message(FATAL_ERROR "${dir} lies outside the install prefix ${CMAKE_INSTALL_PREFIX}")
    endif()
    set(dir "${rel}")
  endif()
  string(REGEX REPLACE "/+$" "" dir "${dir}")
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

qn_relative_dir(QN_BIN_SUBDIR "${CMAKE_INSTALL_BINDIR}")
qn_relative_dir(_qn_libdir "${CMAKE_INSTALL_LIBDIR}")
set(QN_LIB_SUBDIR "${_qn_libdir}/qnlab")
qn_relative_dir(_qn_libexecdir "${CMAKE_INSTALL_LIBEXECDIR}")
set(QN_LIBEXEC_SUBDIR "${_qn_libexecdir}/qnlab")
qn_relative_dir(_qn_datadir "${CMAKE_INSTALL_DATADIR}")
set(QN_DATA_ROOT_SUBDIR "${_qn_datadir}")
set(QN_SHARE_SUBDIR "${_qn_datadir}/qnlab")
qn_relative_dir(QN_MAN_SUBDIR "${CMAKE_INSTALL_MANDIR}")

# Qt's QML import folder, relative to Qt's prefix (lib/x86_64-linux-gnu/qt6/qml
# on Debian): installed with the prefix /usr, `import QNTraylift` works without -I.
if(NOT QN_QML_INSTALL_SUBDIR)
  set(_qn_qml "${QT6_INSTALL_QML}")
  if(NOT _qn_qml)
    find_program(QN_QTPATHS NAMES qtpaths6 qtpaths PATHS /usr/lib/qt6/bin)
    if(QN_QTPATHS)
      execute_process(COMMAND ${QN_QTPATHS} --query QT_INSTALL_QML OUTPUT_VARIABLE _qn_qml OUTPUT_STRIP_TRAILING_WHITESPACE)
      file(RELATIVE_PATH _qn_qml "${QT6_INSTALL_PREFIX}" "${_qn_qml}")
    endif()
  endif()
  if(NOT _qn_qml)
    set(_qn_qml "${_qn_libdir}/qml")
  endif()
  set(QN_QML_INSTALL_SUBDIR "${_qn_qml}" CACHE STRING "QML import folder, relative to the prefix")
endif()
qn_relative_dir(QN_QML_INSTALL_SUBDIR "${QN_QML_INSTALL_SUBDIR}")
set(QN_QML_STAGE_SUBDIR "lib/qml")

# Where polkit reads actions. Outside the prefix on purpose: polkit looks
# nowhere else. Installs to other prefixes (scratch folders, home folders)
# keep the policy inside the prefix; see the install step in
# tools/qnlab-privileged-helper.
set(QN_POLKIT_ACTIONS_DIR "/usr/share/polkit-1/actions" CACHE PATH "polkit's action folder")

# Folders made by `cmake --install` (and so in the package) are 0755 whatever
# the umask of the person building.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QN_PACKAGE_NAME "qntraylift")
set(QN_STAGE_DIR "${CMAKE_BINARY_DIR}/stage")
set(QN_STAGE_LIBDIR "${QN_STAGE_DIR}/${QN_LIB_SUBDIR}")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${QN_STAGE_DIR}/${QN_BIN_SUBDIR}")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${QN_STAGE_LIBDIR}")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/archive")
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
set(CMAKE_SKIP_BUILD_RPATH OFF)
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)

# $ORIGIN-relative RPATH from a folder of the layout to the private libraries.
function(qn_rpath_from out subdir)
  file(RELATIVE_PATH rel "/qnprefix/${subdir}" "/qnprefix/${QN_LIB_SUBDIR}")
  if(rel STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    set(${out} "$ORIGIN/${rel}" PARENT_SCOPE)
  endif()
endfunction()

# Every target or staged file that `cmake --install` copies; the uninstall
# list is made after all of them are built.
define_property(GLOBAL PROPERTY QN_INSTALLED_TARGETS BRIEF_DOCS "installed targets" FULL_DOCS "installed targets")
function(qn_installed_target name)
  set_property(GLOBAL APPEND PROPERTY QN_INSTALLED_TARGETS ${name})
endfunction()

# qn_add_library(<name> [SOURCES...]): a private shared library lib<name>.so
# in <libdir>/qnlab/.
function(qn_add_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(QN::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${name} LIBRARY DESTINATION ${QN_LIB_SUBDIR} NAMELINK_SKIP)
  qn_installed_target(${name})
endfunction()

# qn_add_program(<name> [LIBEXEC] SOURCES...): a program in bin/, or in
# libexec/qnlab/ with LIBEXEC. Programs are linked with -rdynamic so crash
# backtraces carry function names.
function(qn_add_program name)
  cmake_parse_arguments(P "LIBEXEC" "" "SOURCES" ${ARGN})
  add_executable(${name} ${P_SOURCES} ${P_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  if(P_LIBEXEC)
    set(dir "${QN_LIBEXEC_SUBDIR}")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QN_STAGE_DIR}/${dir}")
  else()
    set(dir "${QN_BIN_SUBDIR}")
  endif()
  qn_rpath_from(rpath "${dir}")
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "${rpath}")
  install(TARGETS ${name} RUNTIME DESTINATION ${dir})
  qn_installed_target(${name})
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
  qn_installed_target(${tgt})
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
