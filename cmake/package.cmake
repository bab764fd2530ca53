# Installation as a package: find_package(kestrel) gives kestrel::kestrel; pkg-config too.
include(CMakePackageConfigHelpers)

set(KESTREL_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)

install(TARGETS kestrel EXPORT kestrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kestrelTargets NAMESPACE kestrel:: DESTINATION ${KESTREL_CONFIG_DIR}
  COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestrelConfig.cmake INSTALL_DESTINATION ${KESTREL_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrelConfig.cmake
  ${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
  DESTINATION ${KESTREL_CONFIG_DIR} COMPONENT development)

configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrel.pc.in ${PROJECT_BINARY_DIR}/kestrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
