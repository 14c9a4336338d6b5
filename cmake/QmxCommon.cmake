# Shared build settings and helpers for every target of the suite.

set(QMX_WARNINGS -Wall -Wextra)
if(QMX_WERROR)
  list(APPEND QMX_WARNINGS -Werror)
endif()

if(QMX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every function in a section of its own, so the link can place the ones the
# main program runs while it starts side by side (qmx_order_startup).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_compile_options(-ffunction-sections)
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

# qmx_add_library(name [SHARED|MODULE|INTERFACE] SOURCES ... [INCLUDE_PREFIX dir]
#                 [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
#
# Every #include of the suite names a header by its path from the source root
# ("app/model/Wrapper.h", "platform/xml/xml.h"). A target does not expose the
# source root: it exposes an include root of its own in the build tree,
# ${CMAKE_BINARY_DIR}/include_roots/<name>, that holds only <prefix> (a link to
# that folder of the source tree). A file can therefore include a header only
# when its target links the header's target, so an include across a layer rule
# fails to build. The prefix defaults to the folder of the calling
# CMakeLists.txt relative to the source root; a folder that holds the folder of
# another target does not expose that inner folder (see _qmx_make_include_roots).
function(qmx_add_library name)
  cmake_parse_arguments(A "SHARED;MODULE;INTERFACE" "INCLUDE_PREFIX" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  elseif(A_MODULE)
    add_library(${name} MODULE ${A_SOURCES})
  elseif(A_INTERFACE)
    add_library(${name} INTERFACE ${A_SOURCES})
  elseif(QMX_SHARED_LIBS)
    add_library(${name} SHARED ${A_SOURCES})
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  if(DEFINED A_INCLUDE_PREFIX)
    set(prefix ${A_INCLUDE_PREFIX})
  else()
    file(RELATIVE_PATH prefix ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  qmx_include_root(${name} ${prefix} root)
  if(A_INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${A_PUBLIC_LIBS})
    return()
  endif()
  qmx_target_warnings(${name})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
endfunction()

# qmx_link_whole(target LIBS lib... [EXTERNAL dep...]): <target> takes the
# named libraries of the suite into itself. A static build links them as
# usual. A shared-library build (QMX_SHARED_LIBS, used to keep the test build
# small) links their compiled objects instead, so the target depends on none
# of the suite's shared libraries and keeps its own copies, as in the
# delivered build; EXTERNAL lists what those libraries need from outside.
function(qmx_link_whole target)
  cmake_parse_arguments(A "" "" "LIBS;EXTERNAL" ${ARGN})
  if(NOT QMX_SHARED_LIBS)
    target_link_libraries(${target} PRIVATE ${A_LIBS})
    return()
  endif()
  foreach(lib ${A_LIBS})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${lib}>)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:${lib},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:${lib},INTERFACE_COMPILE_DEFINITIONS>)
    add_dependencies(${target} ${lib})
  endforeach()
  target_link_libraries(${target} PRIVATE ${A_EXTERNAL})
endfunction()

# qmx_include_root(name prefix out_var): registers the include root of <name>
# exposing the source folder <prefix> and returns its path. The roots are
# made once every folder has been read, when it is known which folders
# belong to which target.
function(qmx_include_root name prefix out_var)
  string(REGEX REPLACE "/+$" "" prefix "${prefix}")
  if(prefix STREQUAL "" OR IS_ABSOLUTE "${prefix}" OR NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${prefix})
    message(FATAL_ERROR "include root of ${name}: '${prefix}' is not a folder of the source tree")
  endif()
  set_property(GLOBAL APPEND PROPERTY QMX_INCLUDE_ROOTS "${name}|${prefix}")
  get_property(deferred GLOBAL PROPERTY QMX_INCLUDE_ROOTS_DEFERRED)
  if(NOT deferred)
    set_property(GLOBAL PROPERTY QMX_INCLUDE_ROOTS_DEFERRED TRUE)
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _qmx_make_include_roots)
  endif()
  set(${out_var} ${CMAKE_BINARY_DIR}/include_roots/${name} PARENT_SCOPE)
endfunction()

# _qmx_link(link target): a symbolic link, replaced when it points elsewhere.
function(_qmx_link link target)
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} old)
    if(old STREQUAL target)
      return()
    endif()
    file(REMOVE ${link})
  elseif(EXISTS ${link})
    file(REMOVE_RECURSE ${link})
  endif()
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${target} ${link} SYMBOLIC)
endfunction()

# _qmx_fill_root(dst src inner): makes <dst> show the folder <src> without the
# folders listed in <inner> (absolute source paths lying inside <src>). Without
# inner folders <dst> is one link; otherwise a real folder with one link per
# entry, descending only towards the excluded folders. The listing is re-read
# whenever a file is added to or removed from such a folder.
function(_qmx_fill_root dst src inner)
  set(nested "")
  foreach(i ${inner})
    string(FIND "${i}/" "${src}/" pos)
    if(pos EQUAL 0 AND NOT i STREQUAL src)
      list(APPEND nested ${i})
    endif()
  endforeach()
  if(NOT nested)
    _qmx_link(${dst} ${src})
    return()
  endif()
  if(IS_SYMLINK ${dst})
    file(REMOVE ${dst})
  endif()
  file(REMOVE_RECURSE ${dst})
  file(MAKE_DIRECTORY ${dst})
  file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${src} ${src}/*)
  foreach(e ${entries})
    if(e IN_LIST nested OR "${src}/${e}" IN_LIST nested)
      continue()
    endif()
    if(IS_DIRECTORY ${src}/${e})
      _qmx_fill_root(${dst}/${e} ${src}/${e} "${nested}")
    else()
      _qmx_link(${dst}/${e} ${src}/${e})
    endif()
  endforeach()
endfunction()

function(_qmx_make_include_roots)
  get_property(roots GLOBAL PROPERTY QMX_INCLUDE_ROOTS)
  set(folders "")
  foreach(r ${roots})
    string(REPLACE "|" ";" r "${r}")
    list(GET r 1 prefix)
    list(APPEND folders ${CMAKE_SOURCE_DIR}/${prefix})
  endforeach()
  foreach(r ${roots})
    string(REPLACE "|" ";" r "${r}")
    list(GET r 0 name)
    list(GET r 1 prefix)
    set(base ${CMAKE_BINARY_DIR}/include_roots/${name})
    # A root holds exactly one prefix: drop what an earlier configuration
    # left beside each folder on the way to it. When a target's folder moved
    # below the prefix it had before, the root still holds the old, shorter
    # prefix: a link (going through it would write into, and clear, the
    # source tree) or a folder of links to the old folder's entries (which
    # would show its neighbours' headers). The link is dropped before
    # anything below it is read, so nothing of the source tree is touched.
    string(REPLACE "/" ";" parts "${prefix}")
    set(path ${base})
    foreach(p ${parts})
      file(GLOB stale LIST_DIRECTORIES true RELATIVE ${path} ${path}/*)
      foreach(s ${stale})
        if(NOT s STREQUAL p)
          file(REMOVE_RECURSE ${path}/${s})
        endif()
      endforeach()
      set(path ${path}/${p})
      if(IS_SYMLINK ${path})
        file(REMOVE ${path})
      endif()
    endforeach()
    _qmx_fill_root(${base}/${prefix} ${CMAKE_SOURCE_DIR}/${prefix} "${folders}")
  endforeach()
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

# qmx_order_startup(target list): links the functions named in `list` (one
# mangled name a line, # for comments) first in the program's text, side by
# side. The list holds what the program runs from its start until its window
# is drawn and the catalogue read (scripts/startup-functions.sh makes it), so
# start-up maps a few neighbouring pages of the program instead of pages all
# over it. A name no longer in the program matches nothing and costs nothing.
#
# The link script is the linker's own default one, as it prints it, with the
# list put at the head of .text: the program keeps one .text section (tools
# such as valgrind know no other) and the linker's layout otherwise.
function(qmx_order_startup target list)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR QMX_SHARED_LIBS)
    return()
  endif()
  set(probe "${CMAKE_CURRENT_BINARY_DIR}/${target}-link-probe")
  file(WRITE ${probe}.cpp "int main() { return 0; }\n")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${probe}.cpp -Wl,--verbose -o ${probe}
                  OUTPUT_VARIABLE verbose ERROR_QUIET RESULT_VARIABLE rc)
  string(REGEX MATCH "\n=+\n(.*)\n=+\n" found "${verbose}")
  set(script_text "${CMAKE_MATCH_1}")
  string(REGEX MATCH "\n  \\.text +:\n  {\n" head "${script_text}")
  if(NOT rc EQUAL 0 OR head STREQUAL "")
    message(STATUS "${target}: the linker's script was not found; start-up functions are not ordered")
    return()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  file(STRINGS ${list} names REGEX "^[^#]")
  set(cold ${names})
  list(TRANSFORM names REPLACE "^(.+)$" "    *(.text.\\1 .text.startup.\\1)")
  list(JOIN names "\n" body)
  # A function's cold part has the section name of a function the compiler
  # thought cold as a whole: both come after the rest, so the parts that
  # never run do not sit between those that do.
  list(TRANSFORM cold REPLACE "^(.+)$" "    *(.text.unlikely.\\1)")
  list(JOIN cold "\n" tail)
  # The program's entry code, which is not in sections of its own, goes first.
  string(REPLACE "${head}" "${head}    *crt1.o(.text) *crtbegin*.o(.text)\n${body}\n${tail}\n" script_text "${script_text}")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}-startup.ld")
  file(CONFIGURE OUTPUT ${script} CONTENT "${script_text}\n" @ONLY)
  target_link_options(${target} PRIVATE "LINKER:-T,${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
