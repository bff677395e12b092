# Every test runs in a world of its own: HOME and the XDG folders point into
# worlds/<test> of the build tree, made afresh each time ctest reads the
# tests (the runtime folder mode 0700, as Qt wants it), and none of the
# user's display, logbook or ports reaches it. So a copy of the program the
# user has open (its lock, its window, its settings, its logbook) and the suite
# leave each other alone. A test that wants X starts a private X server.
#
# Read twice: by CMake, for the registering functions below, and by ctest,
# through each folder's generated *_worlds.cmake, to make the folders and to
# give the tests found in a test binary their environment. ctest knows
# set_tests_properties() only, so a test's whole ENVIRONMENT is set here.

# What a test must not inherit from the user's session.
set(RIVENTAR_WORLD_UNSET
    "DISPLAY=unset:;WAYLAND_DISPLAY=unset:;RIVENTAR_LOGBOOK=unset:;RIVENTAR_COM1=unset:;RIVENTAR_COM2=unset:")

# <out>: the world's variables for `test` (a list of VAR=value).
function(riventar_world_environment out test)
  string(MAKE_C_IDENTIFIER "${test}" folder)
  set(root "${RIVENTAR_TEST_WORLDS}/${folder}")
  set(${out}
      "HOME=${root}/home;XDG_CONFIG_HOME=${root}/config;XDG_DATA_HOME=${root}/data;XDG_STATE_HOME=${root}/state;XDG_CACHE_HOME=${root}/cache;XDG_RUNTIME_DIR=${root}/runtime"
      PARENT_SCOPE)
endfunction()

# ctest time: an empty world for each of `tests`.
function(riventar_make_worlds tests)
  foreach(test IN LISTS tests)
    string(MAKE_C_IDENTIFIER "${test}" folder)
    set(root "${RIVENTAR_TEST_WORLDS}/${folder}")
    file(REMOVE_RECURSE "${root}")
    file(MAKE_DIRECTORY "${root}/home" "${root}/config" "${root}/data" "${root}/state" "${root}/cache"
         "${root}/runtime")
    file(CHMOD "${root}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  endforeach()
endfunction()

# ctest time: the worlds of the tests a test binary listed, each with `extra`
# (VAR=value, ...) besides.
function(riventar_enter_worlds tests extra)
  riventar_make_worlds("${tests}")
  foreach(test IN LISTS tests)
    riventar_world_environment(environment "${test}")
    list(APPEND environment ${extra})
    set_tests_properties("${test}" PROPERTIES ENVIRONMENT "${environment}" ENVIRONMENT_MODIFICATION
                                                                      "${RIVENTAR_WORLD_UNSET}")
  endforeach()
endfunction()

if(NOT COMMAND gtest_discover_tests)
  return()  # ctest reads no further
endif()

set(RIVENTAR_TEST_WORLDS "${CMAKE_BINARY_DIR}/test-worlds")
set(RIVENTAR_WORLD_MODULE "${CMAKE_CURRENT_LIST_FILE}")

# A script ctest runs when it reads this folder's tests: `call` after the
# world's settings.
function(_riventar_world_script name call)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_worlds.cmake")
  file(WRITE "${script}"
       "set(RIVENTAR_TEST_WORLDS [==[${RIVENTAR_TEST_WORLDS}]==])\ninclude([==[${RIVENTAR_WORLD_MODULE}]==])\n${call}\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()

# riventar_discover_tests(<target> [DISCOVERY_TIMEOUT <s>] [ENVIRONMENT <VAR=value>...]
#                         [PROPERTIES <name> <value>...])
# gtest_discover_tests(), each test found in a world of its own with
# ENVIRONMENT besides; PROPERTIES must not hold ENVIRONMENT.
function(riventar_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DISCOVERY_TIMEOUT" "ENVIRONMENT;PROPERTIES")
  if(NOT arg_DISCOVERY_TIMEOUT)
    set(arg_DISCOVERY_TIMEOUT 30)
  endif()
  set(properties)
  if(arg_PROPERTIES)
    set(properties PROPERTIES ${arg_PROPERTIES})
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT ${arg_DISCOVERY_TIMEOUT} TEST_LIST ${target}_cases ${properties})
  _riventar_world_script(${target} "riventar_enter_worlds(\"\${${target}_cases}\" [==[${arg_ENVIRONMENT}]==])")
endfunction()

# riventar_test_world(<test> [VAR=value...]): a test made by add_test() in a
# world of its own, with those variables besides.
function(riventar_test_world test)
  riventar_world_environment(environment "${test}")
  list(APPEND environment ${ARGN})
  set_tests_properties("${test}" PROPERTIES ENVIRONMENT "${environment}" ENVIRONMENT_MODIFICATION
                                                                    "${RIVENTAR_WORLD_UNSET}")
  string(MAKE_C_IDENTIFIER "${test}" name)
  _riventar_world_script(${name} "riventar_make_worlds([==[${test}]==])")
endfunction()
