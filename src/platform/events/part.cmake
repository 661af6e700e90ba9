# SPDX-License-Identifier: MIT
target_sources(QNPlatformCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EventTypes.h
  ${CMAKE_CURRENT_LIST_DIR}/AppleEvent.h
  ${CMAKE_CURRENT_LIST_DIR}/AppleEvent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProcessSerialNumber.h
  ${CMAKE_CURRENT_LIST_DIR}/ProcessSerialNumber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ApplicationNotifications.h
  ${CMAKE_CURRENT_LIST_DIR}/RuntimeDirectory.h
  ${CMAKE_CURRENT_LIST_DIR}/RuntimeDirectory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventTransport.h
  ${CMAKE_CURRENT_LIST_DIR}/EventTransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventServer.h
  ${CMAKE_CURRENT_LIST_DIR}/EventServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventDispatcher.h
  ${CMAKE_CURRENT_LIST_DIR}/EventDispatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LaunchHandOver.h
  ${CMAKE_CURRENT_LIST_DIR}/LaunchHandOver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventManager.h
  ${CMAKE_CURRENT_LIST_DIR}/EventManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DetachedLaunch.h
  ${CMAKE_CURRENT_LIST_DIR}/DetachedLaunch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LaunchServices.h
  ${CMAKE_CURRENT_LIST_DIR}/LaunchServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Workspace.h
  ${CMAKE_CURRENT_LIST_DIR}/Workspace.cpp)
