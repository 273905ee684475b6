# The leaf rule of the tag families and the layers below them, beside the library layering:
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_tag_families.cmake
#   cmake -DFIXTURE=<empty folder> -P cmake/check_tag_families.cmake   (the rule's own test)
#
# Every folder under engine/templates/tags/ is one tag family. A family's files include
# their own folder, the template core (engine/templates/core/), the rest of the interpreter
# and lower layers, but no header of another family's folder. The tag mechanism (the files
# directly in tags/: page_tags.h, tag_family.h, the dispatch) includes no family header at
# all: what families share is the core's. Below them, the core includes nothing of the
# interpreter outside core/ (not the page, its scopes, its tags or the page kinds), and the
# page kinds (pages/), which the template page and the families stand on, include nothing
# of tags/. The families come from the file tree, so a new family needs no edit here.
# Includes are read as the project writes them, from the repository root; one that names a
# file relative to its own folder counts by where it lands.

cmake_minimum_required(VERSION 3.25)

set(TEMPLATES engine/templates)
set(TAGS ${TEMPLATES}/tags)
set(CORE ${TEMPLATES}/core)
set(PAGES ${TEMPLATES}/pages)

# The family folder (under TAGS) that the repository path `path` lies in, or "".
function(family_of path out)
  set(${out} "" PARENT_SCOPE)
  if(path MATCHES "^${TAGS}/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  endif()
endfunction()

# The repository path an include of the file `file` lands on inside the templates library,
# or "" for a header of another layer.
function(landing_of root file included out)
  set(${out} "" PARENT_SCOPE)
  get_filename_component(dir "${file}" DIRECTORY)
  if(included MATCHES "^${TEMPLATES}/")
    set(${out} "${included}" PARENT_SCOPE)
  elseif(EXISTS ${root}/${dir}/${included})
    get_filename_component(landed "${dir}/${included}" ABSOLUTE BASE_DIR ${root})
    file(RELATIVE_PATH landed ${root} ${landed})
    if(landed MATCHES "^${TEMPLATES}/")
      set(${out} "${landed}" PARENT_SCOPE)
    endif()
  endif()
endfunction()

# Every break of the rule in the tree at `root`, one text each, into `out`.
function(tag_family_breaks root out)
  set(breaks "")
  file(GLOB_RECURSE files RELATIVE ${root} LIST_DIRECTORIES false
       ${root}/${TAGS}/*.h ${root}/${TAGS}/*.cpp ${root}/${TAGS}/*.def ${root}/${CORE}/*.h ${root}/${CORE}/*.cpp
       ${root}/${PAGES}/*.h ${root}/${PAGES}/*.cpp)
  foreach(file IN LISTS files)
    family_of("${file}" own)
    file(STRINGS ${root}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      landing_of(${root} "${file}" "${included}" landed)
      if(landed STREQUAL "")
        continue()
      endif()
      if(file MATCHES "^${CORE}/")
        if(NOT landed MATCHES "^${CORE}/")
          list(APPEND breaks "${file}: #include \"${included}\": the core includes nothing of the page, its scopes, tags or pages (${landed})")
        endif()
        continue()
      endif()
      if(file MATCHES "^${PAGES}/")
        if(landed MATCHES "^${TAGS}/")
          list(APPEND breaks "${file}: #include \"${included}\": the page kinds include no tag (${landed})")
        endif()
        continue()
      endif()
      family_of("${landed}" target)
      if(target STREQUAL "" OR target STREQUAL own)
        continue()
      endif()
      if(own STREQUAL "")
        list(APPEND breaks "${file}: #include \"${included}\": the tag mechanism includes no family (${target}/)")
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
  # The core reaching up to the page, its scopes, its tags and the page kinds, by either
  # spelling; a family reaching down to the page kinds is allowed.
  file(WRITE ${FIXTURE}/${TEMPLATES}/template_page.h "#include \"engine/templates/pages/web_page.h\"\n")
  file(WRITE ${FIXTURE}/${CORE}/loop_stack.cpp
       "#include \"engine/templates/core/query_results.h\"\n#include \"loop_stack.h\"\n#include \"support/web_message.h\"\n"
       "#include \"engine/templates/scopes/page_scopes.h\"\n#include \"../template_page.h\"\n")
  file(WRITE ${FIXTURE}/${CORE}/loop_stack.h
       "#include \"engine/templates/tags/page_tags.h\"\n#include \"engine/templates/pages/pooled_data_sources.h\"\n")
  file(WRITE ${FIXTURE}/${TAGS}/query/query_tags.cpp
       "${allowed}#include \"engine/templates/pages/insert_update.h\"\n#include \"engine/templates/template_page.h\"\n")
  # The page kinds reaching up into a family and into the tag mechanism.
  file(WRITE ${FIXTURE}/${PAGES}/web_page.h "#include \"engine/templates/core/query_results.h\"\n")
  file(WRITE ${FIXTURE}/${PAGES}/insert_update.h "#include \"web_page.h\"\n")
  file(WRITE ${FIXTURE}/${PAGES}/inserter_page.h
       "#include \"engine/templates/pages/insert_update.h\"\n#include \"engine/templates/tags/insert/insert_update.h\"\n")
  file(WRITE ${FIXTURE}/${PAGES}/web_page.cpp "#include \"web_page.h\"\n#include \"../tags/page_tags.h\"\n")
  tag_family_breaks(${FIXTURE} found)
  set(core "the core includes nothing of the page, its scopes, tags or pages")
  set(expected
      "${CORE}/loop_stack.cpp: #include \"../template_page.h\": ${core} (${TEMPLATES}/template_page.h)"
      "${CORE}/loop_stack.cpp: #include \"engine/templates/scopes/page_scopes.h\": ${core} (${TEMPLATES}/scopes/page_scopes.h)"
      "${CORE}/loop_stack.h: #include \"engine/templates/pages/pooled_data_sources.h\": ${core} (${PAGES}/pooled_data_sources.h)"
      "${CORE}/loop_stack.h: #include \"engine/templates/tags/page_tags.h\": ${core} (${TAGS}/page_tags.h)"
      "${CORE}/query_results.h: #include \"engine/templates/tags/if/if_parts.h\": ${core} (${TAGS}/if/if_parts.h)"
      "${PAGES}/inserter_page.h: #include \"engine/templates/tags/insert/insert_update.h\": the page kinds include no tag (${TAGS}/insert/insert_update.h)"
      "${PAGES}/web_page.cpp: #include \"../tags/page_tags.h\": the page kinds include no tag (${TAGS}/page_tags.h)"
      "${TAGS}/loop/loop_parts.h: #include \"../query/query_parts.h\": the family loop/ includes the family query/"
      "${TAGS}/loop/loop_tags.cpp: #include \"engine/templates/tags/if/if_parts.h\": the family loop/ includes the family if/"
      "${TAGS}/page_tags.h: #include \"query/query_parts.h\": the tag mechanism includes no family (query/)")
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
  message(FATAL_ERROR "${count} breaks of the tag families' leaf rule or of the layers below them (above)")
endif()
file(GLOB families LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR}/${TAGS} ${SOURCE_DIR}/${TAGS}/*)
set(folders "")
foreach(f IN LISTS families)
  if(IS_DIRECTORY ${SOURCE_DIR}/${TAGS}/${f})
    list(APPEND folders ${f})
  endif()
endforeach()
list(LENGTH folders count)
message(STATUS "Tag families: ${count} families include no other family; the tag mechanism includes none, "
               "the core nothing above it, the page kinds no tag")
