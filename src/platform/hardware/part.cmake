# Drive access: the device registry with its udev/kernel and simulated backends.
target_sources(QNPlatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DeviceRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/LinuxDeviceRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/MountTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/UDisksUnmounter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim/SimMachine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim/SimDeviceRegistry.cpp)
target_link_libraries(QNPlatform PRIVATE PkgConfig::UDEV Qt6::DBus)
