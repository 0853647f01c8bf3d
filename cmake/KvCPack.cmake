# Debian packages, one per install component (scripts/package.sh runs
# `cpack -G DEB`). System dependencies come from dpkg-shlibdeps; the
# dependencies between our own packages are declared here.
# A Qt 6 build (KV_QT_MAJOR=6) packages only its Qt parts, named -qt6 so that
# they install beside the Qt 5 ones; the Qt-free packages (libvidshow1, libvenc,
# encprobe) come from the Qt 5 build and serve both.
set(CPACK_PACKAGE_NAME kvcamvideo${KV_QT_SUFFIX})
set(CPACK_PACKAGE_VENDOR "KvCamVideo developers")
set(CPACK_PACKAGE_CONTACT "KvCamVideo developers <kvcamvideo@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Camera, video and chat libraries for Qt ${KV_QT_MAJOR} hosts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our libraries are not installed while packaging: dpkg-shlibdeps finds them
# here and leaves them to the declared dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
if(KV_QT_SUFFIX)
  set(CPACK_COMPONENTS_ALL libkvcamvideo1 libkvimui1 dev kvhost)
else()
  set(CPACK_COMPONENTS_ALL libkvcamvideo1 libkvimui1 libvidshow1 libvenc dev kvhost encprobe)
endif()
# Debug information stays in the build tree, as Debian's -dbgsym would hold it.
set(CPACK_STRIP_FILES ON)

include(CPackComponent)
cpack_add_component(libvidshow1 DESCRIPTION "SDL2 display of I420 frames in X11 windows (vidshow)")
cpack_add_component(libkvcamvideo1 DEPENDS libvidshow1
  DESCRIPTION "Camera capture and video display widgets for Qt ${KV_QT_MAJOR} (KvCamVideo)")
cpack_add_component(libkvimui1
  DESCRIPTION "Chat room panels for Qt ${KV_QT_MAJOR} (kvimui), with their translations")
cpack_add_component(libvenc DESCRIPTION "Hardware video encoders on FFmpeg (libvenc)")
cpack_add_component(dev DEPENDS libkvcamvideo1 libkvimui1 libvidshow1
  DESCRIPTION "Headers, pkg-config and CMake package files of KvCamVideo and kvimui")
cpack_add_component(encprobe DEPENDS libvenc
  DESCRIPTION "Probe of the hardware video encoders")
cpack_add_component(kvhost DEPENDS libkvcamvideo1 libkvimui1
  DESCRIPTION "Demo host of the camera, video and chat libraries")

if(KV_QT_SUFFIX)
  # Debian's rule: a digit at the end of the name takes a hyphen before the soname's.
  set(CPACK_DEBIAN_LIBKVCAMVIDEO1_PACKAGE_NAME libkvcamvideo${KV_QT_SUFFIX}-1)
  set(CPACK_DEBIAN_LIBKVIMUI1_PACKAGE_NAME libkvimui${KV_QT_SUFFIX}-1)
else()
  set(CPACK_DEBIAN_LIBKVCAMVIDEO1_PACKAGE_NAME libkvcamvideo1)
  set(CPACK_DEBIAN_LIBKVIMUI1_PACKAGE_NAME libkvimui1)
endif()
set(CPACK_DEBIAN_LIBVIDSHOW1_PACKAGE_NAME libvidshow1)
set(CPACK_DEBIAN_LIBVENC_PACKAGE_NAME libvenc)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkvcamvideo${KV_QT_SUFFIX}-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
if(KV_QT_SUFFIX)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qt6-base-dev")
  # Qt 6 keeps its platform plugins (xcb, wayland) in a package of their own.
  set(CPACK_DEBIAN_KVHOST_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev")
endif()
set(CPACK_DEBIAN_KVHOST_PACKAGE_NAME kvhost${KV_QT_SUFFIX})
set(CPACK_DEBIAN_KVHOST_PACKAGE_SECTION video)
# The demo's encoder probe button runs encprobe from the same directory.
set(CPACK_DEBIAN_KVHOST_PACKAGE_RECOMMENDS encprobe)
set(CPACK_DEBIAN_ENCPROBE_PACKAGE_NAME encprobe)
set(CPACK_DEBIAN_ENCPROBE_PACKAGE_SECTION video)

# Last: writes CPackConfig.cmake from everything set above.
include(CPack)
