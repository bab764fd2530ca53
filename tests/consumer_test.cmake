# Installs the build into a fresh prefix, builds examples/consumer against the installed
# package as a user's project would, and runs it.
#   -DBUILD_DIR=<kestrel build> -DSOURCE_DIR=<examples/consumer> -DWORK_DIR=<scratch>
file(REMOVE_RECURSE "${WORK_DIR}")

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${rc}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
foreach(installed lib/libkestrel.so lib/libnetsnmp.so lib/mibs/IF-MIB.mib
        include/kestrel/kestrel.hpp include/kestrel/export.hpp lib/pkgconfig/kestrel.pc bin/kestrel)
  if(NOT EXISTS "${WORK_DIR}/prefix/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G Ninja
  "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix")
step(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
step("${WORK_DIR}/build/consumer")
if(NOT step_output MATCHES "Index +ifDescr")
  message(FATAL_ERROR "unexpected output of the consumer:\n${step_output}")
endif()
message(STATUS "${step_output}")
file(REMOVE_RECURSE "${WORK_DIR}")
