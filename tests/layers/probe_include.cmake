# Compiles a probe file that includes one header with the include roots and
# definitions of one target, and checks the outcome: EXPECT "fail" passes only
# when the header cannot be found (the target does not link the header's
# target), EXPECT "build" only when the probe compiles.
#
#   cmake -DCOMPILER=c++ -DTARGET=t -DHEADER=dir/X.h -DEXPECT=fail|build
#         -DINCLUDES=a|b -DDEFINES=A|B=1 -DPROBE=file.cpp -P probe_include.cmake
foreach(v COMPILER TARGET HEADER EXPECT PROBE)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "probe_include.cmake: ${v} is not set")
  endif()
endforeach()
file(WRITE ${PROBE} "#include \"${HEADER}\"\n")
set(args -std=c++20 -fPIC -fsyntax-only)
string(REPLACE "|" ";" includes "${INCLUDES}")
foreach(d IN LISTS includes)
  list(APPEND args -I${d})
endforeach()
string(REPLACE "|" ";" defines "${DEFINES}")
foreach(d IN LISTS defines)
  list(APPEND args -D${d})
endforeach()
execute_process(COMMAND ${COMPILER} ${args} ${PROBE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(EXPECT STREQUAL "build")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TARGET} cannot include ${HEADER}, which it links:\n${err}")
  endif()
elseif(EXPECT STREQUAL "fail")
  if(rc EQUAL 0)
    message(FATAL_ERROR "${TARGET} can include ${HEADER} without linking its target")
  endif()
  # Failing for any other reason (a wrong compiler line) proves nothing.
  string(FIND "${err}" "${HEADER}: No such file" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the probe of ${TARGET} failed, but not at ${HEADER}:\n${err}")
  endif()
else()
  message(FATAL_ERROR "probe_include.cmake: EXPECT is '${EXPECT}', not build or fail")
endif()
