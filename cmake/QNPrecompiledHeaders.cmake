# SPDX-License-Identifier: MIT
# Precompiled headers: the Qt, standard-library and GoogleTest headers that most
# files include are parsed once per build instead of once per file.
#
# Three shared headers, in tiers: "core" (Qt Core, the C++ and POSIX headers),
# "gui" (core + Qt Widgets) and "test" (gui + GoogleTest). Each is compiled
# once, by a small carrier target, and every target of the project reuses the
# tier its own dependencies allow (REUSE_FROM): a program that links only Qt
# Core never sees a widget header.
#
# GCC accepts a precompiled header only when the macros defined on the command
# line when it was made are defined the same way where it is used, and when
# -fPIC/-fPIE match. Every target here links Qt6::Core, which adds -fPIC and
# QT_CORE_LIB/QT_NO_DEBUG; the gui carrier links Qt6::Widgets (QT_GUI_LIB,
# QT_WIDGETS_LIB) and the test carrier GoogleTest (GTEST_HAS_PTHREAD), so a
# target gets a tier only when it links the same. Qt Test stays out: its headers
# read QT_TESTCASE_SOURCEDIR, which differs per folder. When a header cannot be
# used, GCC says so (-Winvalid-pch) and parses the headers as usual.
#
# Files must still include what they use: configure with
# -DQN_PRECOMPILE_HEADERS=OFF to check.
option(QN_PRECOMPILE_HEADERS "Share precompiled Qt/standard/GoogleTest headers across targets" ON)

set(QN_PCH_CORE_HEADERS
  <algorithm> <atomic> <cerrno> <csignal> <cstdint> <cstdio> <cstdlib> <cstring>
  <functional> <memory> <mutex> <optional> <string> <utility> <vector>
  <fcntl.h> <sys/stat.h> <sys/types.h> <unistd.h>
  <QByteArray> <QCoreApplication> <QDateTime> <QDeadlineTimer> <QDir>
  <QElapsedTimer> <QFile> <QFileInfo> <QHash> <QJsonArray> <QJsonDocument>
  <QJsonObject> <QList> <QMetaType> <QObject> <QPointer> <QProcess>
  <QRegularExpression> <QSaveFile> <QSet> <QString> <QStringList>
  <QTemporaryDir> <QThread> <QTimer> <QUrl> <QUuid> <QVariant> <QVariantMap>)
set(QN_PCH_GUI_HEADERS ${QN_PCH_CORE_HEADERS}
  <QApplication> <QCheckBox> <QGuiApplication> <QLabel> <QMessageBox>
  <QProgressBar> <QPushButton> <QScreen> <QWidget>)
set(QN_PCH_TEST_HEADERS ${QN_PCH_GUI_HEADERS} <gtest/gtest.h>)

# <out>: every target that <target> links directly or through the usage
# requirements of what it links (the only links that bring include folders and
# compile flags).
function(_qn_pch_usage_closure out target)
  set(seen "")
  set(queue "")
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(libs)
    list(APPEND queue ${libs})
  endif()
  while(queue)
    list(POP_FRONT queue item)
    # Entries CMake adds for links made in another folder, and link-only
    # dependencies of static libraries, bring no include folders.
    if(item MATCHES "^::@" OR item MATCHES "^\\$<LINK_ONLY:" OR NOT TARGET "${item}")
      continue()
    endif()
    get_target_property(aliased "${item}" ALIASED_TARGET)
    if(aliased)
      set(item "${aliased}")
    endif()
    if(item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${item}")
    get_target_property(iface "${item}" INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND queue ${iface})
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(_qn_pch_collect_targets out dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _qn_pch_collect_targets(more "${sub}")
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# GLib's headers name struct members "signals", which Qt's headers define as a
# keyword: a file that includes GLib, GIO or umockdev orders its includes
# itself, and is compiled without the precompiled header and outside any unity
# file. qn_mark_glib_users(<target> <property>) sets the source property (for
# example SKIP_PRECOMPILE_HEADERS) to ON on each such file of the target.
function(qn_mark_glib_users target property)
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  foreach(src IN LISTS sources)
    if(NOT src MATCHES "\\.(cpp|cc|cxx)$" OR src MATCHES "^\\$<")
      continue()
    endif()
    if(NOT IS_ABSOLUTE "${src}")
      set(src "${dir}/${src}")
    endif()
    if(EXISTS "${src}")
      file(STRINGS "${src}" glib REGEX "^#include <(glib|gio|gobject|umockdev)")
      if(glib)
        set_source_files_properties("${src}" TARGET_DIRECTORY ${target} PROPERTIES ${property} ON)
      endif()
    endif()
  endforeach()
endfunction()

# AUTOMOC gives every target a mocs_compilation.cpp, which for most targets
# here is empty (their meta-object code is included by the .cpp files). Loading
# a precompiled header costs more than parsing such a file, so it is compiled
# without one; the few that hold code parse their Qt headers themselves.
function(_qn_pch_skip_moc_collection target)
  get_target_property(automoc ${target} AUTOMOC)
  if(NOT automoc)
    return()
  endif()
  get_target_property(bindir ${target} BINARY_DIR)
  set_source_files_properties("${bindir}/${target}_autogen/mocs_compilation.cpp" TARGET_DIRECTORY ${target}
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

# qn_precompile_headers(): call once, after every target is defined. Gives
# each C++ target of the project the richest tier it can use.
function(qn_precompile_headers)
  if(NOT QN_PRECOMPILE_HEADERS)
    return()
  endif()
  set(stub "${CMAKE_BINARY_DIR}/pch/carrier.cpp")
  file(CONFIGURE OUTPUT "${stub}" CONTENT "// Compiles a shared precompiled header.\n")
  add_library(qn_pch_core OBJECT "${stub}")
  target_link_libraries(qn_pch_core PRIVATE Qt6::Core)
  target_precompile_headers(qn_pch_core PRIVATE ${QN_PCH_CORE_HEADERS})
  add_library(qn_pch_gui OBJECT "${stub}")
  target_link_libraries(qn_pch_gui PRIVATE Qt6::Widgets)
  target_precompile_headers(qn_pch_gui PRIVATE ${QN_PCH_GUI_HEADERS})
  set(carriers qn_pch_core qn_pch_gui)
  if(TARGET GTest::gtest)
    add_library(qn_pch_test OBJECT "${stub}")
    target_link_libraries(qn_pch_test PRIVATE Qt6::Widgets GTest::gtest)
    target_precompile_headers(qn_pch_test PRIVATE ${QN_PCH_TEST_HEADERS})
    # Only test programs use this tier: it is compiled as they are.
    target_compile_options(qn_pch_test PRIVATE "${QN_TEST_COMPILE_OPTIONS}")
    list(APPEND carriers qn_pch_test)
  endif()
  set_target_properties(${carriers} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

  _qn_pch_collect_targets(targets "${PROJECT_SOURCE_DIR}")
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|STATIC_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$"
       OR t IN_LIST carriers)
      continue()
    endif()
    get_target_property(own ${t} PRECOMPILE_HEADERS)
    get_target_property(reused ${t} PRECOMPILE_HEADERS_REUSE_FROM)
    if(own OR reused)
      continue()
    endif()
    _qn_pch_usage_closure(linked ${t})
    # -pthread (GLib's pkg-config flags) defines _REENTRANT, which no carrier has.
    set(pthread FALSE)
    foreach(dep IN LISTS linked)
      get_target_property(opts "${dep}" INTERFACE_COMPILE_OPTIONS)
      if(opts AND "-pthread" IN_LIST opts)
        set(pthread TRUE)
      endif()
    endforeach()
    if(NOT "Qt6::Core" IN_LIST linked OR pthread)
      continue()
    endif()
    set(widgets FALSE)
    set(gtest FALSE)
    if("Qt6::Widgets" IN_LIST linked)
      set(widgets TRUE)
    endif()
    if("GTest::gtest" IN_LIST linked)
      set(gtest TRUE)
    endif()
    qn_mark_glib_users(${t} SKIP_PRECOMPILE_HEADERS)
    _qn_pch_skip_moc_collection(${t})
    if(widgets AND gtest AND TARGET qn_pch_test)
      target_precompile_headers(${t} REUSE_FROM qn_pch_test)
    elseif(widgets)
      target_precompile_headers(${t} REUSE_FROM qn_pch_gui)
    else()
      target_precompile_headers(${t} REUSE_FROM qn_pch_core)
    endif()
  endforeach()
endfunction()
