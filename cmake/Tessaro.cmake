# Helpers shared by the subsystem folders.
#
# ts_library(NAME [PUBLIC lib...] [PRIVATE lib...] [SUBDIRS folder...] [EXCLUDE file...])
#   A static library from every *.cpp directly in the current folder, except files
#   named *_main.cpp (program entry points). New files are picked up on the next build.
#   SUBDIRS names subfolders whose *.cpp, at any depth, belong to the same library
#   (a subfolder not named, such as one that builds a library of its own, stays out).
#   EXCLUDE names files of the folder that another library of it builds alone.
#   PUBLIC names the layers whose headers this library's headers include; PRIVATE the
#   ones only its sources use.
function(ts_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;SUBDIRS;EXCLUDE" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "ts_library(${name}): unknown arguments '${ARG_UNPARSED_ARGUMENTS}' (PUBLIC, PRIVATE, SUBDIRS or EXCLUDE)")
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(dir IN LISTS ARG_SUBDIRS)
    if(NOT IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
      message(FATAL_ERROR "ts_library(${name}): subfolder '${dir}' not found in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    file(GLOB_RECURSE subsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
    list(APPEND srcs ${subsrcs})
  endforeach()
  list(FILTER srcs EXCLUDE REGEX "_main\\.cpp$")
  foreach(file IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  if(NOT srcs)
    # An empty folder still gives a library so that dependants link.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    if(NOT EXISTS ${stub})
      file(WRITE ${stub} "namespace { [[maybe_unused]] int ${name}_empty; }\n")
    endif()
    set(srcs ${stub})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE Threads::Threads ${ARG_PRIVATE})
endfunction()

# ts_program(NAME MAIN file.cpp [DEPS lib...])
#   A program in build/bin from its entry point; a missing entry point is a configure error.
function(ts_program name)
  cmake_parse_arguments(ARG "" "MAIN" "DEPS" ${ARGN})
  if(NOT ARG_MAIN OR NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_MAIN})
    message(FATAL_ERROR "ts_program(${name}): entry point '${ARG_MAIN}' not found in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_executable(${name} ${ARG_MAIN})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# ts_test(NAME [DEPS lib...])
#   One GoogleTest program from every *.cpp in the current tests folder.
function(ts_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${ARG_DEPS})
  target_compile_definitions(${name} PRIVATE
    TESSARO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TESSARO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TESSARO_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESSARO_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
