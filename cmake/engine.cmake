# Net-SNMP: headers for types and entry-point signatures only; the engine itself is
# loaded at run time from a link (on Windows: a copy) placed beside the module. A Windows
# build names the engine's own headers and DLL (NETSNMP_INCLUDE_DIR, NETSNMP_LIBRARY).
find_path(NETSNMP_INCLUDE_DIR net-snmp/net-snmp-config.h REQUIRED)
find_library(NETSNMP_LIBRARY NAMES netsnmp REQUIRED)
get_filename_component(NETSNMP_ENGINE_FILE "${NETSNMP_LIBRARY}" REALPATH)
message(STATUS "Net-SNMP engine: ${NETSNMP_ENGINE_FILE}")

# The engine's file name beside the module.
if(WIN32)
  set(KESTREL_ENGINE_NAME "netsnmp.dll")
  set(kestrel_engine_place copy)
else()
  set(KESTREL_ENGINE_NAME "libnetsnmp.so")
  set(kestrel_engine_place create_symlink)
endif()

# MIB modules for the "mibs" directory beside the module: the engine's own (Debian's
# libsnmp-base) and the standard IETF modules that scripts/setup fetches into third_party.
set(KESTREL_SYSTEM_MIB_DIR "/usr/share/snmp/mibs" CACHE PATH "Net-SNMP's own MIB modules")
set(KESTREL_EXTRA_MIB_DIR "${PROJECT_SOURCE_DIR}/third_party/mibs" CACHE PATH
  "Standard MIB modules fetched by scripts/setup")
# Where Debian's MIB downloader (snmp-mibs-downloader) has filled its layout, its IETF and
# IANA modules (files without an extension) come first; a module of the same name from
# third_party/mibs is then a second file for it, and the engine takes the last it finds.
file(GLOB KESTREL_MIB_FILES LIST_DIRECTORIES false CONFIGURE_DEPENDS
  "${KESTREL_SYSTEM_MIB_DIR}/ietf/*"
  "${KESTREL_SYSTEM_MIB_DIR}/iana/*"
  "${KESTREL_SYSTEM_MIB_DIR}/*.txt"
  "${KESTREL_EXTRA_MIB_DIR}/*.mib")
list(FILTER KESTREL_MIB_FILES EXCLUDE REGEX "/\\.[^/]*$")
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
  COMMAND ${CMAKE_COMMAND} -E ${kestrel_engine_place} "${NETSNMP_ENGINE_FILE}" "${KESTREL_ENGINE_LINK}"
  DEPENDS "${NETSNMP_ENGINE_FILE}"
  COMMENT "Placing ${KESTREL_ENGINE_NAME} from ${NETSNMP_ENGINE_FILE}"
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

# Beside the installed library: the engine link (it still names the system's engine file;
# on Windows a copy of the engine beside kestrel.dll) and the MIB directory.
if(WIN32)
  set(kestrel_engine_install_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(kestrel_engine_install_dir ${CMAKE_INSTALL_LIBDIR})
endif()
install(CODE "
  set(engine_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${kestrel_engine_install_dir}/${KESTREL_ENGINE_NAME}\")
  message(STATUS \"Installing: \${engine_link} -> ${NETSNMP_ENGINE_FILE}\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${kestrel_engine_install_dir}\")
  file(REMOVE \"\${engine_link}\")
  if(\"${WIN32}\")
    file(COPY_FILE \"${NETSNMP_ENGINE_FILE}\" \"\${engine_link}\")
  else()
    file(CREATE_LINK \"${NETSNMP_ENGINE_FILE}\" \"\${engine_link}\" SYMBOLIC)
  endif()
  " COMPONENT runtime)
install(DIRECTORY "${KESTREL_MIB_OUTPUT_DIR}" DESTINATION "${kestrel_engine_install_dir}"
  COMPONENT runtime)
