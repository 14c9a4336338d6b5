# Shared build settings and helpers for every target of the suite.

set(QMX_WARNINGS -Wall -Wextra)
if(QMX_WERROR)
  list(APPEND QMX_WARNINGS -Werror)
endif()

if(QMX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Build number that goes into the version block of every deliverable.
if(NOT DEFINED QMX_BUILD_NUMBER)
  execute_process(COMMAND git rev-list --count HEAD
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE _qmx_count OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _qmx_rc ERROR_QUIET)
  if(NOT _qmx_rc EQUAL 0 OR _qmx_count STREQUAL "")
    set(_qmx_count 0)
  endif()
  set(QMX_BUILD_NUMBER ${_qmx_count})
endif()

# qmx_target_warnings(target): the project's warning set on one target.
function(qmx_target_warnings target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX,C>:${QMX_WARNINGS}>)
endfunction()

# qmx_add_library(name [SHARED|STATIC] SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(qmx_add_library name)
  cmake_parse_arguments(A "SHARED;MODULE" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  elseif(A_MODULE)
    add_library(${name} MODULE ${A_SOURCES})
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  qmx_target_warnings(${name})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
endfunction()

# qmx_embed_version(target ORIGINAL_FILENAME name DESCRIPTION text [INTERNAL_NAME n] [FILE_TYPE 1|2])
# Writes the version block that the file-version reader finds in the file
# and links it into the target (file type 1 = program, 2 = library).
function(qmx_embed_version target)
  cmake_parse_arguments(V "" "ORIGINAL_FILENAME;DESCRIPTION;INTERNAL_NAME;FILE_TYPE;PRODUCT_NAME;COMMENTS" "" ${ARGN})
  if(NOT V_FILE_TYPE)
    set(V_FILE_TYPE 1)
  endif()
  if(NOT V_INTERNAL_NAME)
    set(V_INTERNAL_NAME ${target})
  endif()
  if(NOT V_PRODUCT_NAME)
    set(V_PRODUCT_NAME "QMX-410 Tools")
  endif()
  if(NOT V_COMMENTS)
    set(V_COMMENTS "Configuration and commissioning suite for QMX-410 I/O stations")
  endif()
  set(QMX_V_MAJOR ${PROJECT_VERSION_MAJOR})
  set(QMX_V_MINOR ${PROJECT_VERSION_MINOR})
  set(QMX_V_PATCH ${PROJECT_VERSION_PATCH})
  set(QMX_V_BUILD ${QMX_BUILD_NUMBER})
  set(QMX_V_FILE_TYPE ${V_FILE_TYPE})
  set(QMX_V_ORIGINAL_FILENAME ${V_ORIGINAL_FILENAME})
  set(QMX_V_DESCRIPTION ${V_DESCRIPTION})
  set(QMX_V_INTERNAL_NAME ${V_INTERNAL_NAME})
  set(QMX_V_PRODUCT_NAME ${V_PRODUCT_NAME})
  set(QMX_V_COMMENTS ${V_COMMENTS})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.c)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version_block.c.in ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()

# qmx_stage_program(target [SUBDIR dir]): put a program into the program folder.
function(qmx_stage_program target)
  cmake_parse_arguments(S "" "SUBDIR" "" ${ARGN})
  set(dest ${QMX_DIST_DIR})
  if(S_SUBDIR)
    set(dest ${QMX_DIST_DIR}/${S_SUBDIR})
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dest}
                                             LIBRARY_OUTPUT_DIRECTORY ${dest})
endfunction()
