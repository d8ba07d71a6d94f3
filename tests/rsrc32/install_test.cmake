# Installs the meter and the probe program into a DESTDIR, as a package build does, checks that
# the probe carries no run path, then runs it from an empty working directory: it must bind the
# installed meter, found from its own path. Without that meter it must read "RS" as 0, and a
# stand-in planted in the working directory must not be loaded in its place. Nothing is written
# outside WORK_DIR, and WORK_DIR is removed when the test passes.
foreach(var BUILD_DIR WORK_DIR PREFIX BINDIR PRIVATE_LIBDIR FAKE_METER READELF)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_test.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/destdir" "${WORK_DIR}/cwd")

set(ENV{DESTDIR} "${WORK_DIR}/destdir")
foreach(component rsrc32 meter_probe)
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component ${component}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "installing ${component} failed (${rc}):\n${out}")
  endif()
endforeach()
unset(ENV{DESTDIR})

# Install folders given as absolute paths ignore the prefix, not DESTDIR.
foreach(dir PRIVATE_LIBDIR BINDIR)
  if(IS_ABSOLUTE "${${dir}}")
    set(${dir}_UNDER "${WORK_DIR}/destdir${${dir}}")
  else()
    set(${dir}_UNDER "${WORK_DIR}/destdir${PREFIX}/${${dir}}")
  endif()
endforeach()
set(meter "${PRIVATE_LIBDIR_UNDER}/librsrc32.so")
set(probe "${BINDIR_UNDER}/meter_probe")
foreach(file "${meter}" "${probe}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# An installed program carries no run path: $ORIGIN would search the program's own folder.
execute_process(COMMAND "${READELF}" -d "${probe}" OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "NEEDED" OR dynamic MATCHES "\\((RPATH|RUNPATH)\\)[^\n]*")
  message(FATAL_ERROR "the installed probe carries a run path: ${CMAKE_MATCH_0}")
endif()

# Runs the installed probe in the empty working directory; sets rs, from and probe_output.
unset(ENV{LD_LIBRARY_PATH})
function(run_probe)
  execute_process(COMMAND "${probe}" WORKING_DIRECTORY "${WORK_DIR}/cwd"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "RS=(-?[0-9]+)\nfrom=([^\n]*)\n")
    message(FATAL_ERROR "the installed probe failed (${rc}):\n${out}${err}")
  endif()
  set(rs "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set(from "${CMAKE_MATCH_2}" PARENT_SCOPE)
  set(probe_output "${out}" PARENT_SCOPE)
endfunction()

run_probe()
file(REAL_PATH "${meter}" expected)
if(from STREQUAL "")
  message(FATAL_ERROR "the installed probe found no meter:\n${probe_output}")
endif()
file(REAL_PATH "${from}" bound)
if(NOT bound STREQUAL expected)
  message(FATAL_ERROR "the installed probe bound ${bound}, not ${expected}:\n${probe_output}")
endif()
if(rs LESS 0 OR rs GREATER 100)
  message(FATAL_ERROR "RS read ${rs}, not a percentage:\n${probe_output}")
endif()

file(REMOVE "${meter}")
file(COPY_FILE "${FAKE_METER}" "${WORK_DIR}/cwd/librsrc32.so")
run_probe()
# The loader names a file found by search with its absolute path: a relative one was opened
# from the working directory.
if(from MATCHES "/cwd/" OR (NOT from STREQUAL "" AND NOT IS_ABSOLUTE "${from}"))
  message(FATAL_ERROR "the installed probe loaded the meter planted in its working directory:\n${probe_output}")
endif()
if(from STREQUAL "" AND NOT rs STREQUAL "0")
  message(FATAL_ERROR "without a meter RS read ${rs}, not 0:\n${probe_output}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "the installed probe bound ${expected}")
