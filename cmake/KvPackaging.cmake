# Helpers that make the shared libraries consumable outside this tree.
#
# kv_hide_symbols(<target>...)
#   Compiles the targets with hidden symbols: only what a public header marks
#   with its export attribute leaves a shared library.
# kv_export_map(<target> <version script>)
#   Links the shared library with this linker version script, which names
#   the symbols it exports and makes everything else local.
# kv_library_version(<target>)
#   libX.so.1 -> libX.so.<project version>.
# kv_install_package(<name> TARGET <target> COMPONENT <component>
#                    DESCRIPTION <text> REQUIRES <pkg-config modules>)
#   Installs the target's export set as <name>::<name>, <name>Config.cmake
#   (finding Qt first) with its version file, and <name>.pc; for Qt 6 the
#   files and the CMake package are named <name>-qt6 (KV_QT_SUFFIX).
include(CMakePackageConfigHelpers)

set(KV_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

function(kv_hide_symbols)
  set_target_properties(${ARGN} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

function(kv_export_map target map)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${map}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
endfunction()

function(kv_library_version target)
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1)
endfunction()

function(kv_install_package name)
  cmake_parse_arguments(P "" "TARGET;COMPONENT;DESCRIPTION" "REQUIRES" ${ARGN})
  set(target_namespace ${name})
  set(name ${name}${KV_QT_SUFFIX})
  set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
  set(pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

  install(EXPORT ${target_namespace}Targets NAMESPACE ${target_namespace}:: DESTINATION ${cmakedir}
          COMPONENT ${P_COMPONENT})
  set(KV_PACKAGE_NAME ${name})
  set(KV_PACKAGE_TARGETS ${target_namespace}Targets)
  configure_package_config_file(${KV_PACKAGING_DIR}/PackageConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake INSTALL_DESTINATION ${cmakedir})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
          DESTINATION ${cmakedir} COMPONENT ${P_COMPONENT})

  # The .pc file finds its prefix from its own place, so the tree can be
  # installed under any prefix (cmake --install --prefix, DESTDIR, packages).
  file(RELATIVE_PATH KV_PC_PREFIX /root/${pcdir} /root)
  string(REGEX REPLACE "/$" "" KV_PC_PREFIX "${KV_PC_PREFIX}")
  set(KV_PC_NAME ${name})
  set(KV_PC_DESCRIPTION "${P_DESCRIPTION}")
  string(JOIN " " KV_PC_REQUIRES ${P_REQUIRES})
  get_target_property(KV_PC_LIB ${P_TARGET} OUTPUT_NAME)
  if(NOT KV_PC_LIB)
    set(KV_PC_LIB ${P_TARGET})
  endif()
  configure_file(${KV_PACKAGING_DIR}/package.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${pcdir}
          COMPONENT ${P_COMPONENT})
endfunction()
