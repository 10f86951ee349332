# Installation: bitrun and the tools, the runtime's static libraries with
# their public headers, a CMake package (find_package(Orvane CONFIG) gives
# Orvane::runtime ... Orvane::collections) and a pkg-config file; CPack turns
# the same into a Debian package.
include(CMakePackageConfigHelpers)

# The library targets, lowest layer first, and the names they have in the
# package.
set(OV_INSTALLED_LIBRARIES
  orvane_runtime runtime
  orvane_clib clib
  orvane_streams streams
  orvane_filesystem filesystem
  orvane_net net
  orvane_collections collections)

# The programs, for users.
set(OV_INSTALLED_PROGRAMS bitrun textprog bittrace bitview)

set(ov_targets)
set(ov_link_flags)
while(OV_INSTALLED_LIBRARIES)
  list(POP_FRONT OV_INSTALLED_LIBRARIES target name)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  add_library(Orvane::${name} ALIAS ${target})
  list(APPEND ov_targets ${target})
  list(PREPEND ov_link_flags -l${target})
endwhile()

install(TARGETS ${ov_targets} EXPORT OrvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvane)

# Public headers keep their folders, since they include each other as
# "runtime/object.h"; private ones (*_internal.h) stay behind.
foreach(folder runtime system/clib streams system/filesystem net collections)
  install(DIRECTORY ${OV_ROOT}/${folder}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvane/${folder}
    COMPONENT dev FILES_MATCHING PATTERN "*.h" PATTERN "*_internal.h" EXCLUDE)
endforeach()

set(ov_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Orvane)
install(EXPORT OrvaneTargets NAMESPACE Orvane:: DESTINATION ${ov_package_dir} COMPONENT dev)
configure_package_config_file(${OV_ROOT}/cmake/OrvaneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvaneConfig.cmake INSTALL_DESTINATION ${ov_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvaneConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvaneConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/OrvaneConfigVersion.cmake
  DESTINATION ${ov_package_dir} COMPONENT dev)

list(JOIN ov_link_flags " " OV_PKGCONFIG_LIBS)
file(RELATIVE_PATH OV_PKGCONFIG_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${OV_ROOT}/cmake/orvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(TARGETS ${OV_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT bitrun)
# Manual pages are installed compressed, as the system's own are.
set(ov_manuals)
foreach(page bitrun bitview)
  set(ov_manual ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz)
  add_custom_command(OUTPUT ${ov_manual}
    COMMAND gzip -9 -n -c ${OV_ROOT}/docs/${page}.1 > ${ov_manual}
    DEPENDS ${OV_ROOT}/docs/${page}.1)
  list(APPEND ov_manuals ${ov_manual})
endforeach()
add_custom_target(bitrun_manual ALL DEPENDS ${ov_manuals})
install(FILES ${ov_manuals} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT bitrun)
# The default program and the examples, for users to copy: bitrun looks for
# code.txt beside itself or in the directory it is started from.
install(FILES ${OV_ROOT}/app/code.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/orvane COMPONENT bitrun)
install(DIRECTORY ${OV_ROOT}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvane/examples COMPONENT bitrun
  FILES_MATCHING PATTERN "*.txt" PATTERN "*.in" PATTERN "*.out" PATTERN "embedding" EXCLUDE)

# Two Debian packages: bitrun (the programs, the manual page, the examples)
# and orvane-dev (libraries, headers, the CMake and pkg-config files).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_CONTACT "Orvane developers <orvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bitrun, an interpreter of a five-command bit-tape language, and its runtime")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL bitrun dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_BITRUN_PACKAGE_NAME bitrun)
set(CPACK_DEBIAN_BITRUN_PACKAGE_SECTION interpreters)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME orvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_BITRUN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
include(CPack)
