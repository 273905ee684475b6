# The object files of the product, for the census of its mutable statics
# (cmake/check_mutable_statics.cmake, run as the test MutableStatics.MatchTheCensus).
#
# ts_write_census_objects(FILE)
#   Writes at generate time, one a line, the object files of every library and program outside
#   tests/, bench/ and tools/ (tools run at build time only). Call it once, after every folder
#   has been added and after cmake/Layering.cmake, whose walk over the targets it shares.

function(ts_write_census_objects file)
  _ts_layering_targets(${PROJECT_SOURCE_DIR} all)
  set(objects "")
  foreach(t IN LISTS all)
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(dir ${t} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    if(folder STREQUAL "" OR folder MATCHES "^(tests|bench|tools)(/|$)" OR folder MATCHES "^\\.\\.")
      continue()
    endif()
    list(APPEND objects "$<TARGET_OBJECTS:${t}>")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "$<JOIN:${objects},\n>\n")
endfunction()
