# The census of the product's mutable statics:
#   cmake -DOBJECTS=<build>/mutable_statics_objects.txt -DBUILD_DIR=<build> -DCENSUS=<repository>/cmake/mutable_statics.txt
#         -DOBJDUMP=objdump -P cmake/check_mutable_statics.cmake
#   cmake -DFIXTURE=<empty folder> -DCXX=<C++ compiler> -DOBJDUMP=objdump -P cmake/check_mutable_statics.cmake
#         (the rule's own test)
#
# Every object of writable static storage in the product's object files (written by
# cmake/MutableStatics.cmake) is a namespace-scope or function-local static, a global or a
# static member whose bytes can change: .data, .bss and the thread-local .tdata and .tbss,
# never the read-only .rodata and .data.rel.ro. The object files are read rather than the
# sources, so no spelling of a declaration escapes, and whatever the compiler keeps for
# itself (guard variables, section symbols, exception references, the sanitizers' own
# objects) is dropped. A const object built at run time (a std::string, a table made by
# code) lies in writable storage too; it is listed with the kind "const".
#
# The census has one line per object: "kind | where | name | why". kind is one of
#   const    built once (before main or at its first use) and never changed after
#   lock     a lock or a once-flag that guards something built or shared process-wide
#   state    state of the whole process that changes while it runs
#   thread   one per thread (thread_local); the kind a thread-local object must have
# where is the source file the object is defined in, or "inline" for one the compiler may
# emit in every file that uses it (a static of an inline function or of a template); name is
# the object's demangled name. The check fails on an object the census lacks, on a line
# whose object no longer exists, on a thread-local object not listed as "thread" (and the
# other way round), and on a line without a reason.

cmake_minimum_required(VERSION 3.25)

set(KINDS const lock state thread)

# The writable static objects of the object files listed in `list_file` (paths under
# `build_dir`), each as "thread|where|name" or "-|where|name", sorted, into `out`.
function(scan_objects list_file build_dir out)
  file(STRINGS ${list_file} objects)
  list(REMOVE_DUPLICATES objects)
  string(RANDOM LENGTH 12 salt)
  set(rsp ${build_dir}/mutable_statics_${salt}.rsp)
  list(JOIN objects "\n" rsp_text)
  file(WRITE ${rsp} "${rsp_text}\n")
  execute_process(COMMAND ${OBJDUMP} -tC @${rsp}
                  COMMAND grep -E "file format|[[:space:]](\\.(bss|data|tbss|tdata)[^[:space:]]*|\\*COM\\*)[[:space:]]"
                  OUTPUT_VARIABLE text RESULT_VARIABLE grep_status ERROR_VARIABLE errors)
  file(REMOVE ${rsp})
  if(NOT grep_status EQUAL 0 AND NOT grep_status EQUAL 1)
    message(FATAL_ERROR "objdump could not read the object files: ${errors}")
  endif()
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(found "")
  set(where "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^(.+\\.o):[ \t]+file format")
      # <build>/<folder>/CMakeFiles/<target>.dir/<source>.o, the source relative to the folder.
      set(object "${CMAKE_MATCH_1}")
      file(RELATIVE_PATH where ${build_dir} ${object})
      string(REGEX REPLACE "CMakeFiles/[^/]+\\.dir/" "" where "${where}")
      string(REPLACE "__/" "../" where "${where}")
      string(REGEX REPLACE "\\.o$" "" where "${where}")
      cmake_path(NORMAL_PATH where)
      continue()
    endif()
    # Code a generator wrote (Qt's resource compiler) keeps only its own start-up flag, in a
    # folder named after a hash of the build's paths.
    if(where MATCHES "_autogen/")
      continue()
    endif()
    # value, seven flag characters, section, a tab, size, name.
    if(NOT line MATCHES "^[0-9a-f]+ (.......) ([^ \t]+)\t[0-9a-f]+ +(.+)$")
      continue()
    endif()
    set(flags "${CMAKE_MATCH_1}")
    set(section "${CMAKE_MATCH_2}")
    set(name "${CMAKE_MATCH_3}")
    string(REGEX REPLACE "^\\.hidden " "" name "${name}")
    # The library's spelling of std::string, which no source writes.
    string(REPLACE "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >" "std::string"
                   name "${name}")
    string(REPLACE ", std::allocator<std::string > >" ">" name "${name}")
    string(REPLACE "[abi:cxx11]" "" name "${name}")
    string(SUBSTRING "${flags}" 6 1 type)
    string(SUBSTRING "${flags}" 0 1 binding)
    if(type MATCHES "[dfF]" OR section MATCHES "^\\.data\\.rel\\.ro")
      continue()
    endif()
    # The standard library's own objects (emitted where its inline code is used) are its affair.
    if(name MATCHES "^(guard variable for |DW\\.ref\\.|std::|__tls_guard$|__dso_handle$|\\.|_+(asan|odr_asan|ubsan|sancov|gcov|llvm))")
      continue()
    endif()
    set(place "${where}")
    # Unique and weak objects are the compiler's copies of an inline function's or a
    # template's static: one per program, emitted wherever it is used.
    if(binding STREQUAL "u" OR flags MATCHES "^.w")
      set(place inline)
    endif()
    set(tls -)
    if(section MATCHES "^\\.t(bss|data)")
      set(tls thread)
    endif()
    string(REPLACE ";" "\\;" name "${name}")
    list(APPEND found "${tls}|${place}|${name}")
  endforeach()
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The census lines of `census_file` as "kind|where|name|why", into `out`; malformed lines
# and unknown kinds go to `problems`.
function(read_census census_file out problems)
  file(STRINGS ${census_file} lines)
  set(entries "")
  set(bad "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    endif()
    if(NOT line MATCHES "^([a-z]+) \\| ([^|]+) \\| (.+) \\|([^|]*)$")
      list(APPEND bad "not \"kind | where | name | why\": ${line}")
      continue()
    endif()
    set(kind "${CMAKE_MATCH_1}")
    set(where "${CMAKE_MATCH_2}")
    set(name "${CMAKE_MATCH_3}")
    set(why "${CMAKE_MATCH_4}")
    string(STRIP "${why}" why)
    if(NOT kind IN_LIST KINDS)
      list(JOIN KINDS ", " kinds)
      list(APPEND bad "unknown kind \"${kind}\" (not ${kinds}): ${line}")
    endif()
    if(why STREQUAL "")
      list(APPEND bad "no reason given: ${line}")
    endif()
    list(APPEND entries "${kind}|${where}|${name}|${why}")
  endforeach()
  set(${out} "${entries}" PARENT_SCOPE)
  set(${problems} "${bad}" PARENT_SCOPE)
endfunction()

# Every difference between the scanned objects and the census, one text each, into `out`.
function(census_breaks found entries out)
  set(breaks "")
  set(listed "")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|(.*)\\|([^|]*)$" _ "${entry}")
    set(kind "${CMAKE_MATCH_1}")
    set(key "${CMAKE_MATCH_2}|${CMAKE_MATCH_3}")
    list(APPEND listed "${key}")
    set(kind_of_${key} "${kind}")
  endforeach()
  set(present "")
  foreach(object IN LISTS found)
    string(REGEX MATCH "^([^|]*)\\|(.*)$" _ "${object}")
    set(tls "${CMAKE_MATCH_1}")
    set(key "${CMAKE_MATCH_2}")
    list(APPEND present "${key}")
    string(REPLACE "|" " | " shown "${key}")
    if(NOT key IN_LIST listed)
      list(APPEND breaks "new mutable static, not in the census: ${shown}")
    elseif(tls STREQUAL "thread" AND NOT kind_of_${key} STREQUAL "thread")
      list(APPEND breaks "thread-local, but listed as \"${kind_of_${key}}\": ${shown}")
    elseif(NOT tls STREQUAL "thread" AND kind_of_${key} STREQUAL "thread")
      list(APPEND breaks "listed as \"thread\", but not thread-local: ${shown}")
    endif()
  endforeach()
  foreach(key IN LISTS listed)
    if(NOT key IN_LIST present)
      string(REPLACE "|" " | " shown "${key}")
      list(APPEND breaks "in the census, but no longer in the product: ${shown}")
    endif()
  endforeach()
  set(${out} "${breaks}" PARENT_SCOPE)
endfunction()

function(report_and_fail title breaks)
  list(LENGTH breaks count)
  string(REPLACE ";" "\n  " shown "${breaks}")
  message(FATAL_ERROR "${title} (${count}):\n  ${shown}\n"
                      "A new static is owned by an object instead (see docs/architecture.md, \"Mutable statics\"); "
                      "one that must stay gets its line in cmake/mutable_statics.txt.")
endfunction()

if(NOT OBJDUMP)
  set(OBJDUMP objdump)
endif()

if(DEFINED FIXTURE)
  # One object holding one static of each kind the scan tells apart, and some it must pass
  # over; a census that lists one of them wrongly, lacks one and lists one that is gone.
  file(REMOVE_RECURSE ${FIXTURE})
  file(MAKE_DIRECTORY ${FIXTURE}/lib/CMakeFiles/fixture.dir)
  file(WRITE ${FIXTURE}/lib/fixture.cpp [[
#include <string>
namespace {
int g_counter = 1;
long g_zeroed;
const int kTable[] = {1, 2, 3};
const char* const kNames[] = {"a", "b"};
thread_local int t_depth;
}  // namespace
const std::string kBuilt = "built at start-up";
int Next() {
    static int calls;
    ++g_counter;
    g_zeroed += calls;
    return ++calls + g_counter + static_cast<int>(g_zeroed) + kTable[t_depth++ % 3] + static_cast<int>(kBuilt.size());
}
const char* Name(int i) { return kNames[i]; }
]])
  set(object ${FIXTURE}/lib/CMakeFiles/fixture.dir/fixture.cpp.o)
  execute_process(COMMAND ${CXX} -std=c++20 -O2 -fPIC -c ${FIXTURE}/lib/fixture.cpp -o ${object}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the fixture did not compile: ${errors}")
  endif()
  file(WRITE ${FIXTURE}/objects.txt "${object}\n")
  scan_objects(${FIXTURE}/objects.txt ${FIXTURE} found)
  set(expected "-|lib/fixture.cpp|(anonymous namespace)::g_counter" "-|lib/fixture.cpp|(anonymous namespace)::g_zeroed"
               "-|lib/fixture.cpp|Next()::calls" "-|lib/fixture.cpp|kBuilt"
               "thread|lib/fixture.cpp|(anonymous namespace)::t_depth")
  list(SORT expected)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " shown "${found}")
    message(FATAL_ERROR "the scan found:\n  ${shown}")
  endif()
  file(WRITE ${FIXTURE}/census.txt [[
# a comment, and an empty line

state | lib/fixture.cpp | (anonymous namespace)::g_counter | counts
state | lib/fixture.cpp | (anonymous namespace)::t_depth | wrongly not thread
const | lib/fixture.cpp | kBuilt | built once
thread | lib/fixture.cpp | (anonymous namespace)::g_gone | gone
mutable | lib/fixture.cpp | Next()::calls |
]])
  read_census(${FIXTURE}/census.txt entries problems)
  set(expected_problems "unknown kind \"mutable\" (not const, lock, state, thread): mutable | lib/fixture.cpp | Next()::calls |"
                        "no reason given: mutable | lib/fixture.cpp | Next()::calls |")
  if(NOT problems STREQUAL expected_problems)
    string(REPLACE ";" "\n  " shown "${problems}")
    message(FATAL_ERROR "the census's own faults found:\n  ${shown}")
  endif()
  census_breaks("${found}" "${entries}" breaks)
  set(expected_breaks "new mutable static, not in the census: lib/fixture.cpp | (anonymous namespace)::g_zeroed"
                      "thread-local, but listed as \"state\": lib/fixture.cpp | (anonymous namespace)::t_depth"
                      "in the census, but no longer in the product: lib/fixture.cpp | (anonymous namespace)::g_gone")
  if(NOT breaks STREQUAL expected_breaks)
    string(REPLACE ";" "\n  " shown "${breaks}")
    message(FATAL_ERROR "the breaks found:\n  ${shown}")
  endif()
  message(STATUS "Census: the rule finds a new static, a gone one, a wrong kind and a line without a reason")
  return()
endif()

if(NOT OBJECTS OR NOT BUILD_DIR OR NOT CENSUS)
  message(FATAL_ERROR "usage: cmake -DOBJECTS=... -DBUILD_DIR=... -DCENSUS=... [-DOBJDUMP=...] -P check_mutable_statics.cmake")
endif()
scan_objects(${OBJECTS} ${BUILD_DIR} found)
read_census(${CENSUS} entries problems)
if(problems)
  report_and_fail("cmake/mutable_statics.txt has faulty lines" "${problems}")
endif()
census_breaks("${found}" "${entries}" breaks)
if(breaks)
  report_and_fail("The product's mutable statics differ from the census" "${breaks}")
endif()
list(LENGTH found count)
message(STATUS "Census: the product's ${count} mutable statics are the ones cmake/mutable_statics.txt lists")
