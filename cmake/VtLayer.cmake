# One static library per layer, built from every .cpp file of its folder but those named in
# EXCLUDE. Headers are included from the project root ("access/dispatch.h"), so a layer names the
# layer it uses.
function(vt_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(file IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  add_library(vt_${name} STATIC ${sources})
  target_include_directories(vt_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(vt_${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test executable per folder of tests/, registered test by test with CTest.
function(vt_test_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(vt_tests_${name} ${sources})
  target_link_libraries(vt_tests_${name} PRIVATE ${ARG_DEPS} vt_testsupport GTest::gmock_main)
  set_target_properties(vt_tests_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Tests that read files shipped in the source tree find it here.
  target_compile_definitions(vt_tests_${name} PRIVATE VT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(vt_tests_${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
