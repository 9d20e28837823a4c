# Helpers shared by every subsystem's CMakeLists.

# Warnings stay on for our own code only; third-party headers come in as system includes.
function(reelkit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Woverloaded-virtual)
  if(REELKIT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(REELKIT_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The sanitizers' instrumentation makes GCC 12 see uninitialised members inside libstdc++'s
    # own std::function and std::regex; the normal build keeps the warning.
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
endfunction()

# reelkit_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# Creates reelkit_<name> with the alias Reelkit::<name>; headers are included as "<name>/file.h".
function(reelkit_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(reelkit_${name} STATIC ${ARG_SOURCES})
  add_library(Reelkit::${name} ALIAS reelkit_${name})
  target_include_directories(reelkit_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(reelkit_${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  target_compile_features(reelkit_${name} PUBLIC cxx_std_20)
  reelkit_warnings(reelkit_${name})
endfunction()

# reelkit_test(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable; every TEST becomes its own ctest case.
function(reelkit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  reelkit_warnings(${name})
  target_compile_definitions(${name} PRIVATE
    REELKIT_BINARY="$<TARGET_FILE:reelkit>"
    REELKIT_WIZARD_BINARY="$<TARGET_FILE:reelkit_wizard_program>"
    REELKIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    REELKIT_TEST_TMPDIR="${PROJECT_BINARY_DIR}/test-tmp")
  set(props "")
  if(ARG_LABELS)
    set(props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
