# SPDX-License-Identifier: MIT
# Alerts and question windows through one presenter (with the test hook).
target_sources(QNPlatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AlertPresenter.cpp)
target_link_libraries(QNPlatform PRIVATE Qt6::Widgets)
# Without a display, alerts are offered to the desktop's notification service.
target_link_libraries(QNPlatform PRIVATE Qt6::DBus)
