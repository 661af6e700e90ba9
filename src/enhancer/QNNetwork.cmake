# SPDX-License-Identifier: MIT
# The HTTP client needs Qt Network.
target_link_libraries(QNEnhancer PUBLIC Qt6::Network)
# What it shares with the crash reporter's client lives in http/.
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/http ${CMAKE_CURRENT_BINARY_DIR}/http)
target_link_libraries(QNEnhancer PRIVATE QNHttpCommon)
