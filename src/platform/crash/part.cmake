# SPDX-License-Identifier: MIT
# Fatal-signal recorder that appends crash-log entries (armed by the crash kit).
target_sources(QNPlatformCore PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CrashRecorder.cpp)
