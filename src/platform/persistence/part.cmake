# SPDX-License-Identifier: MIT
# Object persistence: model files, contexts, store coordinator and stores.
target_sources(QNPlatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ManagedObjectModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ManagedObject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ManagedObjectContext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PersistentStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PersistentStoreCoordinator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlistStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SQLiteStore.cpp)
target_link_libraries(QNPlatform PRIVATE SQLite::SQLite3)
