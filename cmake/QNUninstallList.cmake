# SPDX-License-Identifier: MIT
# The uninstaller's encrypted list of paths (share/qnlab/UnInstallFiles.txt.qne),
# one per line, encrypted with qncrypt under the uninstaller's key
# (QNUninstallWindowController::uninstallListKey()). Three uses:
#
# - QN_LIST_MODE=build (the build step `qn_uninstall_list`): installs the
#   suite into a scratch DESTDIR for the configured prefix and lists what
#   landed there. A package build runs it like any other target; qncrypt is
#   one that runs on the build machine (QN_HOST_QNCRYPT when cross-compiling).
# - QN_LIST_MODE=install (the last step of `cmake --install`): installs the
#   list made by the build step when the prefix is the configured one.
#   Installing to another prefix makes a fresh list from the install manifest,
#   which runs the freshly built qncrypt: never when cross-compiling (then the
#   installation has no list, with a warning).
# - QN_STAGE_DIR set: the list names the files staged under build/stage.
if(NOT QN_SHARE_SUBDIR)
  set(QN_SHARE_SUBDIR "share/qnlab")
endif()
set(_qn_key "C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358")
set(_qn_name "UnInstallFiles.txt.qne")

# Writes the encrypted list of `files` to `out`.
function(qn_write_uninstall_list out files)
  get_filename_component(dir "${out}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  string(REGEX REPLACE "\\.qne$" "" plain "${out}")
  string(REPLACE ";" "\n" text "${files}")
  file(WRITE "${plain}" "${text}\n")
  file(REMOVE "${out}")
  execute_process(COMMAND "${QN_QNCRYPT}" encrypt --key "${_qn_key}" "${plain}"
    RESULT_VARIABLE rc OUTPUT_QUIET)
  file(REMOVE "${plain}")
  if(NOT rc EQUAL 0 OR NOT EXISTS "${out}")
    message(FATAL_ERROR "qncrypt could not encrypt the uninstall list (${rc})")
  endif()
endfunction()

if(QN_STAGE_DIR)
  file(GLOB_RECURSE _qn_files LIST_DIRECTORIES false "${QN_STAGE_DIR}/*")
  list(FILTER _qn_files EXCLUDE REGEX "/UnInstallFiles\\.txt(\\.qne)?$")
  list(SORT _qn_files)
  list(APPEND _qn_files "${QN_STAGE_DIR}/${QN_SHARE_SUBDIR}/${_qn_name}")
  qn_write_uninstall_list("${QN_STAGE_DIR}/${QN_SHARE_SUBDIR}/${_qn_name}" "${_qn_files}")

elseif(QN_LIST_MODE STREQUAL "build")
  set(_qn_root "${QN_BUILD_DIR}/uninstall-list/root")
  file(REMOVE_RECURSE "${_qn_root}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${_qn_root}" QN_UNINSTALL_LIST_PASS=1
            ${CMAKE_COMMAND} --install "${QN_BUILD_DIR}" --prefix "${QN_PREFIX}"
    RESULT_VARIABLE _qn_rc OUTPUT_QUIET)
  if(NOT _qn_rc EQUAL 0)
    message(FATAL_ERROR "the trial installation for the uninstall list failed (${_qn_rc})")
  endif()
  file(GLOB_RECURSE _qn_found LIST_DIRECTORIES false "${_qn_root}/*")
  set(_qn_files "")
  foreach(f IN LISTS _qn_found)
    string(LENGTH "${_qn_root}" n)
    string(SUBSTRING "${f}" ${n} -1 f)
    list(APPEND _qn_files "${f}")
  endforeach()
  file(REMOVE_RECURSE "${_qn_root}")
  list(FILTER _qn_files EXCLUDE REGEX "/UnInstallFiles\\.txt(\\.qne)?$")
  list(SORT _qn_files)
  list(APPEND _qn_files "${QN_PREFIX}/${QN_SHARE_SUBDIR}/${_qn_name}")
  qn_write_uninstall_list("${QN_OUTPUT}" "${_qn_files}")

elseif(QN_LIST_MODE STREQUAL "install")
  if(NOT "$ENV{QN_UNINSTALL_LIST_PASS}" STREQUAL "")
    return()  # the build step's trial installation
  endif()
  get_filename_component(_qn_now "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  get_filename_component(_qn_then "${QN_PREFIX}" ABSOLUTE)
  if(_qn_now STREQUAL _qn_then AND EXISTS "${QN_OUTPUT}")
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${QN_SHARE_SUBDIR}" TYPE FILE FILES "${QN_OUTPUT}")
  elseif(QN_CROSSCOMPILING)
    # The freshly built qncrypt may not run here: install without a list.
    message(WARNING "No uninstall list installed: a cross build makes it at build time, for the configured "
                    "prefix (${QN_PREFIX}) and with QN_HOST_QNCRYPT set to a qncrypt that runs on this machine.")
  else()
    # CMake records installed files without DESTDIR: run-time paths.
    set(_qn_runtime "${CMAKE_INSTALL_PREFIX}/${QN_SHARE_SUBDIR}/${_qn_name}")
    set(_qn_files ${CMAKE_INSTALL_MANIFEST_FILES})
    list(APPEND _qn_files "${_qn_runtime}")
    list(REMOVE_DUPLICATES _qn_files)
    qn_write_uninstall_list("$ENV{DESTDIR}${_qn_runtime}" "${_qn_files}")
    message(STATUS "Installing: $ENV{DESTDIR}${_qn_runtime}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_qn_runtime}")
  endif()
endif()
