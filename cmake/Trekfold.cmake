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
    TREKFOLD_TESTDATA_DIR="${CMAKE_SOURCE_DIR}/../shared/testdata")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
endfunction()
