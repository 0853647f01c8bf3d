# The Qt major the whole tree builds for: -DKV_QT_MAJOR=5 (default) or 6.
# Everything that differs between the majors in the build is set here:
#   KV_QT                  Qt5 or Qt6 (package and pkg-config prefix)
#   KV_QT_SUFFIX           "" or "-qt6": appended to the names of what we install
#                          for Qt 6, so that both sets can be installed side by side
#   KV_QT_OPENGL_WIDGETS   the target that holds QOpenGLWidget (part of Widgets in Qt 5)
#   KV_SHARED_DEV_COMPONENT  install component of the Qt-free libraries' links:
#                          the Qt 5 set's dev package ships them for both
# Sources link the versionless targets (Qt::Core, Qt::Widgets...), which both
# Qt 5.15 and Qt 6 define; API differences live in qtcompat/kvqtcompat.h.
set(KV_QT_MAJOR 5 CACHE STRING "Qt major version to build for: 5 or 6")
set_property(CACHE KV_QT_MAJOR PROPERTY STRINGS 5 6)

if(KV_QT_MAJOR STREQUAL "5")
  set(KV_QT_MINIMUM 5.15)
  set(KV_QT_SUFFIX "")
  set(KV_QT_OPENGL_WIDGETS "")
  set(KV_SHARED_DEV_COMPONENT dev)
elseif(KV_QT_MAJOR STREQUAL "6")
  set(KV_QT_MINIMUM 6.4)
  set(KV_QT_SUFFIX -qt6)
  set(KV_QT_OPENGL_WIDGETS Qt6::OpenGLWidgets)
  set(KV_SHARED_DEV_COMPONENT shared-dev)
else()
  message(FATAL_ERROR "KV_QT_MAJOR must be 5 or 6, not '${KV_QT_MAJOR}'")
endif()
set(KV_QT Qt${KV_QT_MAJOR})

set(kv_qt_components Core Gui Widgets DBus)
if(KV_QT_MAJOR STREQUAL "6")
  list(APPEND kv_qt_components OpenGLWidgets)
endif()
find_package(${KV_QT} ${KV_QT_MINIMUM} REQUIRED COMPONENTS ${kv_qt_components})
message(STATUS "Building for Qt ${${KV_QT}_VERSION}")
