# Configures a small tree with the suite's CMake helpers twice in one build
# folder: first with two targets in one folder that also holds a third
# target's folder (the outer root is then a folder of links, one per entry),
# then with one of the two moved into a folder of its own below. The moved
# target's root must show its new folder alone, the other's must no longer
# show the moved folder, and the source tree must be left as it was.
#
#   cmake -DHELPERS=cmake/QmxCommon.cmake -DWORK=dir -P roots_after_move.cmake
foreach(v HELPERS WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "roots_after_move.cmake: ${v} is not set")
  endif()
endforeach()
set(src ${WORK}/src)
set(bin ${WORK}/build)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${src}/lib/api ${src}/lib/win)
file(WRITE ${src}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)\nproject(roots NONE)\n"
           "set(QMX_BUILD_NUMBER 0)\ninclude(${HELPERS})\nadd_subdirectory(lib)\n")
file(WRITE ${src}/lib/core.h "")
file(WRITE ${src}/lib/api/api.h "")
file(WRITE ${src}/lib/win/win.h "")

function(configure_tree)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${src} -B ${bin} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the tree does not configure:\n${err}")
  endif()
endfunction()

function(expect_entries dir)
  file(GLOB found LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT found)
  set(expected ${ARGN})
  list(SORT expected)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "${dir} holds '${found}', not '${expected}'")
  endif()
endfunction()

# Before: core and win share lib/, which also holds api's folder.
file(WRITE ${src}/lib/CMakeLists.txt
     "qmx_add_library(api INTERFACE INCLUDE_PREFIX lib/api)\n"
     "qmx_add_library(core INTERFACE)\nqmx_add_library(win INTERFACE)\n")
configure_tree()
expect_entries(${bin}/include_roots/win/lib CMakeLists.txt core.h win)

# After: win has lib/win to itself.
file(WRITE ${src}/lib/CMakeLists.txt
     "qmx_add_library(api INTERFACE INCLUDE_PREFIX lib/api)\n"
     "qmx_add_library(core INTERFACE)\nadd_subdirectory(win)\n")
file(WRITE ${src}/lib/win/CMakeLists.txt "qmx_add_library(win INTERFACE)\n")
configure_tree()
expect_entries(${bin}/include_roots/win/lib win)
expect_entries(${bin}/include_roots/win/lib/win CMakeLists.txt win.h)
expect_entries(${bin}/include_roots/core/lib CMakeLists.txt core.h)
expect_entries(${src}/lib CMakeLists.txt api core.h win)
expect_entries(${src}/lib/win CMakeLists.txt win.h)
file(REMOVE_RECURSE ${WORK})
