# SPDX-License-Identifier: MIT
# Drive access: the device registry with its udev/kernel and simulated backends.
set(_hw ${CMAKE_CURRENT_LIST_DIR})
target_sources(QNPlatform PRIVATE
  ${_hw}/DeviceRegistry.cpp ${_hw}/DeviceRegistry.h ${_hw}/Status.h
  ${_hw}/linux/LinuxDeviceRegistry.cpp ${_hw}/linux/LinuxDeviceRegistry.h
  ${_hw}/linux/MountTable.cpp ${_hw}/linux/MountTable.h ${_hw}/linux/HardwareRoot.h
  ${_hw}/linux/UDisksUnmounter.cpp ${_hw}/linux/UDisksUnmounter.h
  ${_hw}/sim/SimMachine.cpp ${_hw}/sim/SimMachine.h
  ${_hw}/sim/SimMachineState.cpp ${_hw}/sim/SimMachineState.h
  ${_hw}/sim/SimMachineFile.cpp ${_hw}/sim/SimMachineFile.h
  ${_hw}/sim/SimDriveRules.cpp ${_hw}/sim/SimDriveRules.h
  ${_hw}/sim/SimEventLog.cpp ${_hw}/sim/SimEventLog.h
  ${_hw}/sim/SimDeviceRegistry.cpp ${_hw}/sim/SimDeviceRegistry.h)
target_link_libraries(QNPlatform PRIVATE PkgConfig::UDEV Qt6::DBus)
unset(_hw)
