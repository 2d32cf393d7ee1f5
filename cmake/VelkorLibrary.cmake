include(GoogleTest)

# velkor_unity(TARGET): with VELKOR_UNITY_BUILD, TARGET's sources compile as one translation
# unit. The standard library's, GoogleTest's and JSON's headers are then parsed, and their
# templates instantiated, once per library or suite instead of once per file: the builds take
# about half the processor time. Names at file scope must therefore differ across the
# files of one library or suite.
function(velkor_unity target)
  set_target_properties(${target} PROPERTIES UNITY_BUILD ${VELKOR_UNITY_BUILD}
                                             UNITY_BUILD_BATCH_SIZE 0)
endfunction()

# velkor_library(NAME DIR [LINKS lib...]): a static library of every .cpp in DIR (picked up as
# files are added), or an interface library while DIR has none yet.
function(velkor_library name dir)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    velkor_unity(${name})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    if(ARG_LINKS)
      target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    if(ARG_LINKS)
      target_link_libraries(${name} INTERFACE ${ARG_LINKS})
    endif()
  endif()
endfunction()

# velkor_test_suite(NAME DIR LINKS lib...): one GoogleTest executable of every .cpp in DIR, each
# of its cases registered with CTest as NAME.Suite.Case, so a failure names its case. Skipped
# while DIR has no sources.
# COST: where the suite's cases start under `ctest -j` (higher first; CTest has no timings of its
# own on a fresh build and would start them in the order they were added).
function(velkor_test_suite name dir)
  cmake_parse_arguments(ARG "" "COST" "LINKS" ${ARGN})
  if(NOT ARG_COST)
    set(ARG_COST 0)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gmock GTest::gtest_main Threads::Threads)
  velkor_unity(${name})
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                       PROPERTIES TIMEOUT 600 COST ${ARG_COST})
endfunction()

# velkor_static_twin(TARGET): TARGET-static, the same program from the same sources, libraries
# and compile options, linked statically as build/static/TARGET for the kernel rig's guest
# (tests/kernel/run.sh), which has no shared libraries. Built only when asked for, and not
# with sanitizers, whose runtimes cannot be linked statically. Call it after the target's
# target_link_libraries, in the same directory.
function(velkor_static_twin target)
  if(VELKOR_SANITIZE OR WIN32)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  add_executable(${target}-static EXCLUDE_FROM_ALL ${sources})
  target_link_libraries(${target}-static PRIVATE ${libraries})
  target_link_options(${target}-static PRIVATE -static)
  # VELKOR_STATIC_TWIN lets a library choose its archives over shared objects for this program.
  set_target_properties(${target}-static PROPERTIES OUTPUT_NAME ${target} VELKOR_STATIC_TWIN ON
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/static)
endfunction()
