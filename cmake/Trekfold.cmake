# Helpers shared by every folder.

# tf_library(<name> [SHARED] [LIBS <libs...>])
# Builds the .cpp files of the calling folder (and its detail/ folder) into
# one library. The folder's parent of parents (the source root) is on the
# include path, so headers are included as "platform/events/clock.h".
function(tf_library name)
  cmake_parse_arguments(L "SHARED" "" "LIBS;SOURCES" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/detail/*.cpp)
  list(APPEND _src ${L_SOURCES})
  if(NOT _src)
    # A folder of headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    if(L_LIBS)
      target_link_libraries(${name} INTERFACE ${L_LIBS})
    endif()
    return()
  endif()
  if(L_SHARED)
    add_library(${name} SHARED ${_src})
  else()
    add_library(${name} STATIC ${_src})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(L_LIBS)
    target_link_libraries(${name} PUBLIC ${L_LIBS})
  endif()
endfunction()

# tf_test(<name> LABELS <labels...> [SOURCES <files>] [LIBS <libs>])
# A GoogleTest program run under ctest; without SOURCES it takes the
# calling folder's .cpp files.
function(tf_test name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT T_SOURCES)
    file(GLOB T_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TREKFOLD_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TREKFOLD_BINARY_DIR="${CMAKE_BINARY_DIR}"
    TREKFOLD_TESTDATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # Discovery passes properties on as a flat list, which keeps only the first
  # of several labels; a script run after it labels the discovered tests.
  set(_labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${_labels_file}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels_file})
endfunction()

# tf_bench(<name> SOURCES <files> LIBS <libs>): a Google Benchmark program.
function(tf_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT B_SOURCES)
    file(GLOB B_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${B_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE
    TREKFOLD_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TREKFOLD_BINARY_DIR="${CMAKE_BINARY_DIR}"
    TREKFOLD_TESTDATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
endfunction()

# tf_fuzz(<name> SOURCES <files> LIBS <libs>): a libFuzzer target, built only
# in the fuzz configuration (clang). Its seed corpus is the folder's corpus/.
function(tf_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TREKFOLD_FUZZ)
    return()
  endif()
  if(NOT F_SOURCES)
    file(GLOB F_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${F_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_all ${name})
endfunction()

# tf_version_note(<target>): writes the project version into the binary as
# its file version note, read back by platform/version (the four 16-bit
# parts: major, minor, patch, tweak; absent parts are 0).
function(tf_version_note target)
  foreach(_p MAJOR MINOR PATCH TWEAK)
    set(_v_${_p} "${PROJECT_VERSION_${_p}}")
    if(NOT _v_${_p})
      set(_v_${_p} 0)
    endif()
  endforeach()
  set(V_MAJOR ${_v_MAJOR})
  set(V_MINOR ${_v_MINOR})
  set(V_THIRD ${_v_PATCH})
  set(V_FOURTH ${_v_TWEAK})
  configure_file(${CMAKE_SOURCE_DIR}/platform/version/version_note.cpp.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.cpp @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.cpp)
endfunction()

# tf_program_test(<test> PROGRAM <target> LABELS <labels...> SOURCES <files>
# LIBS <libs>): a GoogleTest program run whole as one ctest test, so it
# carries every label (peer tests that run outside programs in turn).
function(tf_program_test test)
  cmake_parse_arguments(P "" "PROGRAM" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${P_PROGRAM} ${P_SOURCES})
  set_target_properties(${P_PROGRAM} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${P_PROGRAM} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${P_PROGRAM} PRIVATE ${P_LIBS} GTest::gtest_main)
  target_compile_definitions(${P_PROGRAM} PRIVATE TREKFOLD_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${test} COMMAND ${P_PROGRAM})
  set_tests_properties(${test} PROPERTIES LABELS "${P_LABELS}" TIMEOUT 600
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
endfunction()
