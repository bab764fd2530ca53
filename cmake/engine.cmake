# Net-SNMP: headers for types and entry-point signatures only; the engine itself is
# loaded at run time from a link placed beside the module.
find_path(NETSNMP_INCLUDE_DIR net-snmp/net-snmp-config.h REQUIRED)
find_library(NETSNMP_LIBRARY NAMES netsnmp REQUIRED)
get_filename_component(NETSNMP_ENGINE_FILE "${NETSNMP_LIBRARY}" REALPATH)
message(STATUS "Net-SNMP engine: ${NETSNMP_ENGINE_FILE}")

# The engine's file name beside the module.
set(KESTREL_ENGINE_NAME "libnetsnmp.so")

# MIB modules for the "mibs" directory beside the module: the engine's own (Debian's
# libsnmp-base) and the standard IETF modules that scripts/setup fetches into third_party.
set(KESTREL_SYSTEM_MIB_DIR "/usr/share/snmp/mibs" CACHE PATH "Net-SNMP's own MIB modules")
set(KESTREL_EXTRA_MIB_DIR "${PROJECT_SOURCE_DIR}/third_party/mibs" CACHE PATH
  "Standard MIB modules fetched by scripts/setup")
file(GLOB KESTREL_MIB_FILES CONFIGURE_DEPENDS
  "${KESTREL_SYSTEM_MIB_DIR}/*.txt"
  "${KESTREL_EXTRA_MIB_DIR}/*.mib")
set(kestrel_mib_copy)
if(KESTREL_MIB_FILES)
  set(kestrel_mib_copy COMMAND ${CMAKE_COMMAND} -E copy ${KESTREL_MIB_FILES}
    "${KESTREL_OUTPUT_DIR}/mibs")
else()
  message(WARNING "No MIB modules found in ${KESTREL_SYSTEM_MIB_DIR} or "
    "${KESTREL_EXTRA_MIB_DIR}: run scripts/setup")
endif()

set(KESTREL_ENGINE_LINK "${KESTREL_OUTPUT_DIR}/${KESTREL_ENGINE_NAME}")
set(KESTREL_MIB_OUTPUT_DIR "${KESTREL_OUTPUT_DIR}/mibs")
set(KESTREL_MIB_STAMP "${CMAKE_CURRENT_BINARY_DIR}/kestrel_mibs.stamp")

add_custom_command(
  OUTPUT "${KESTREL_ENGINE_LINK}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${KESTREL_OUTPUT_DIR}"
  COMMAND ${CMAKE_COMMAND} -E create_symlink "${NETSNMP_ENGINE_FILE}" "${KESTREL_ENGINE_LINK}"
  DEPENDS "${NETSNMP_ENGINE_FILE}"
  COMMENT "Linking ${KESTREL_ENGINE_NAME} to ${NETSNMP_ENGINE_FILE}"
  VERBATIM)

# The directory is rebuilt whole, so that a module removed from a source goes too.
add_custom_command(
  OUTPUT "${KESTREL_MIB_STAMP}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${KESTREL_MIB_OUTPUT_DIR}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${KESTREL_MIB_OUTPUT_DIR}"
  ${kestrel_mib_copy}
  COMMAND ${CMAKE_COMMAND} -E touch "${KESTREL_MIB_STAMP}"
  DEPENDS ${KESTREL_MIB_FILES}
  COMMENT "Assembling ${KESTREL_MIB_OUTPUT_DIR}"
  VERBATIM)

# Everything that runs from ${KESTREL_OUTPUT_DIR} depends on this target.
add_custom_target(kestrel_engine_files ALL
  DEPENDS "${KESTREL_ENGINE_LINK}" "${KESTREL_MIB_STAMP}")

# Beside the installed library: the engine link (it still names the system's engine file)
# and the MIB directory.
install(CODE "
  set(engine_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/${KESTREL_ENGINE_NAME}\")
  message(STATUS \"Installing: \${engine_link} -> ${NETSNMP_ENGINE_FILE}\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}\")
  file(REMOVE \"\${engine_link}\")
  file(CREATE_LINK \"${NETSNMP_ENGINE_FILE}\" \"\${engine_link}\" SYMBOLIC)
  " COMPONENT runtime)
install(DIRECTORY "${KESTREL_MIB_OUTPUT_DIR}" DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  COMPONENT runtime)
