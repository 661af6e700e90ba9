# SPDX-License-Identifier: MIT
target_sources(QNPlatformCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProcessTable.h
  ${CMAKE_CURRENT_LIST_DIR}/ProcessTable.cpp)
