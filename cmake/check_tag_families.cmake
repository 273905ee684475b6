# The leaf rule of the tag families, beside the library layering:
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_tag_families.cmake
#   cmake -DFIXTURE=<empty folder> -P cmake/check_tag_families.cmake   (the rule's own test)
#
# Every folder under engine/templates/tags/ is one tag family. A family's files include
# their own folder, the template core (engine/templates/core/), the rest of the interpreter
# and lower layers, but no header of another family's folder. The tag mechanism (the files
# directly in tags/: page_tags.h, tag_family.h, the dispatch) and the core include no family
# header at all: what families share is the core's. The families come from the file tree,
# so a new family needs no edit here. Includes are read as the project writes them, from the
# repository root; one that names a file relative to its own folder counts by where it lands.

cmake_minimum_required(VERSION 3.25)

set(TAGS engine/templates/tags)
set(CORE engine/templates/core)

# The family folder (under TAGS) that the repository path `path` lies in, or "".
function(family_of path out)
  set(${out} "" PARENT_SCOPE)
  if(path MATCHES "^${TAGS}/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  endif()
endfunction()

# Every break of the rule in the tree at `root`, one text each, into `out`.
function(tag_family_breaks root out)
  set(breaks "")
  file(GLOB_RECURSE files RELATIVE ${root} LIST_DIRECTORIES false
       ${root}/${TAGS}/*.h ${root}/${TAGS}/*.cpp ${root}/${TAGS}/*.def ${root}/${CORE}/*.h ${root}/${CORE}/*.cpp)
  foreach(file IN LISTS files)
    family_of("${file}" own)
    get_filename_component(dir "${file}" DIRECTORY)
    file(STRINGS ${root}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      family_of("${included}" target)
      if(target STREQUAL "" AND EXISTS ${root}/${dir}/${included})
        get_filename_component(landed "${dir}/${included}" ABSOLUTE BASE_DIR ${root})
        file(RELATIVE_PATH landed ${root} ${landed})
        family_of("${landed}" target)
      endif()
      if(target STREQUAL "" OR target STREQUAL own)
        continue()
      endif()
      if(own STREQUAL "")
        list(APPEND breaks "${file}: #include \"${included}\": the core and the tag mechanism include no family (${target}/)")
      else()
        list(APPEND breaks "${file}: #include \"${included}\": the family ${own}/ includes the family ${target}/")
      endif()
    endforeach()
  endforeach()
  set(${out} "${breaks}" PARENT_SCOPE)
endfunction()

if(FIXTURE)
  # A small tree with one break of each kind and the includes the rule allows.
  file(REMOVE_RECURSE ${FIXTURE})
  set(allowed "#include \"engine/templates/core/query_results.h\"\n#include \"engine/templates/tags/page_tags.h\"\n")
  file(WRITE ${FIXTURE}/${TAGS}/loop/loop_tags.cpp
       "${allowed}#include \"engine/templates/tags/loop/loop_parts.h\"\n#include \"engine/templates/tags/if/if_parts.h\"\n")
  file(WRITE ${FIXTURE}/${TAGS}/loop/loop_parts.h "#include \"../query/query_parts.h\"\n#include \"loop_more.h\"\n")
  file(WRITE ${FIXTURE}/${TAGS}/if/if_parts.h "${allowed}")
  file(WRITE ${FIXTURE}/${TAGS}/query/query_parts.h "#include \"support/text_helpers.h\"\n")
  file(WRITE ${FIXTURE}/${TAGS}/page_tags.h "#include \"query/query_parts.h\"\n")
  file(WRITE ${FIXTURE}/${CORE}/query_results.h "#  include \"engine/templates/tags/if/if_parts.h\"\n")
  tag_family_breaks(${FIXTURE} found)
  set(expected
      "${CORE}/query_results.h: #include \"engine/templates/tags/if/if_parts.h\": the core and the tag mechanism include no family (if/)"
      "${TAGS}/loop/loop_parts.h: #include \"../query/query_parts.h\": the family loop/ includes the family query/"
      "${TAGS}/loop/loop_tags.cpp: #include \"engine/templates/tags/if/if_parts.h\": the family loop/ includes the family if/"
      "${TAGS}/page_tags.h: #include \"query/query_parts.h\": the core and the tag mechanism include no family (query/)")
  list(SORT found)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "the rule found:\n  ${found}\nin the fixture, which holds:\n  ${expected}")
  endif()
  message(STATUS "Tag families: the rule finds each break of the fixture and nothing else")
  return()
endif()

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=... -P check_tag_families.cmake")
endif()
tag_family_breaks(${SOURCE_DIR} breaks)
if(breaks)
  foreach(b IN LISTS breaks)
    message("${b}")
  endforeach()
  list(LENGTH breaks count)
  message(FATAL_ERROR "${count} breaks of the tag families' leaf rule (above)")
endif()
file(GLOB families LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR}/${TAGS} ${SOURCE_DIR}/${TAGS}/*)
set(folders "")
foreach(f IN LISTS families)
  if(IS_DIRECTORY ${SOURCE_DIR}/${TAGS}/${f})
    list(APPEND folders ${f})
  endif()
endforeach()
list(LENGTH folders count)
message(STATUS "Tag families: ${count} families include no other family; the core and the tag mechanism include none")
