# Writes share/qnlab/UnInstallFiles.txt.qne: the uninstaller's encrypted list
# of paths, one per line, encrypted with qncrypt under the uninstaller's key
# (QNUninstallWindowController::uninstallListKey()).
#
# Two uses:
# - the last step of `cmake --install` (included from the top-level
#   CMakeLists.txt with QN_QNCRYPT set): the list is the install manifest
#   gathered so far, i.e. exactly the files this installation wrote, plus the
#   list itself;
# - `cmake -DQN_STAGE_DIR=... -DQN_QNCRYPT=... -P` at build time: the list
#   names the files staged under build/stage.
set(_qn_key "C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358")

if(QN_STAGE_DIR)
  set(_qn_share "${QN_STAGE_DIR}/share/qnlab")
  file(GLOB_RECURSE _qn_files LIST_DIRECTORIES false "${QN_STAGE_DIR}/*")
  list(FILTER _qn_files EXCLUDE REGEX "/share/qnlab/UnInstallFiles\\.txt(\\.qne)?$")
  list(SORT _qn_files)
  set(_qn_runtime_share "${_qn_share}")
else()
  set(_qn_dest "$ENV{DESTDIR}")
  set(_qn_runtime_share "${CMAKE_INSTALL_PREFIX}/share/qnlab")
  set(_qn_share "${_qn_dest}${_qn_runtime_share}")
  # CMake records installed files without DESTDIR: run-time paths.
  set(_qn_files ${CMAKE_INSTALL_MANIFEST_FILES})
endif()
list(APPEND _qn_files "${_qn_runtime_share}/UnInstallFiles.txt.qne")
list(REMOVE_DUPLICATES _qn_files)

string(REPLACE ";" "\n" _qn_text "${_qn_files}")
file(MAKE_DIRECTORY "${_qn_share}")
file(WRITE "${_qn_share}/UnInstallFiles.txt" "${_qn_text}\n")
file(REMOVE "${_qn_share}/UnInstallFiles.txt.qne")
execute_process(COMMAND "${QN_QNCRYPT}" encrypt --key "${_qn_key}" "${_qn_share}/UnInstallFiles.txt"
  RESULT_VARIABLE _qn_rc OUTPUT_QUIET)
file(REMOVE "${_qn_share}/UnInstallFiles.txt")
if(NOT _qn_rc EQUAL 0)
  message(FATAL_ERROR "qncrypt could not encrypt the uninstall list (${_qn_rc})")
endif()
if(NOT QN_STAGE_DIR)
  message(STATUS "Installing: ${_qn_share}/UnInstallFiles.txt.qne")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_qn_runtime_share}/UnInstallFiles.txt.qne")
endif()
