# SPDX-License-Identifier: MIT
target_sources(QNPlatformCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EventTypes.h
  ${CMAKE_CURRENT_LIST_DIR}/AppleEvent.h
  ${CMAKE_CURRENT_LIST_DIR}/AppleEvent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProcessSerialNumber.h
  ${CMAKE_CURRENT_LIST_DIR}/ProcessSerialNumber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ApplicationNotifications.h
  ${CMAKE_CURRENT_LIST_DIR}/EventManager.h
  ${CMAKE_CURRENT_LIST_DIR}/EventManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventTransport.h
  ${CMAKE_CURRENT_LIST_DIR}/EventTransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LaunchServices.h
  ${CMAKE_CURRENT_LIST_DIR}/LaunchServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Workspace.h
  ${CMAKE_CURRENT_LIST_DIR}/Workspace.cpp)
