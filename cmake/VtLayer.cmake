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

# One test executable per folder of tests/, registered test by test with CTest. On Windows the
# files named in WINDOWS_EXCLUDE (tests of what only Linux has) are left out and the cases that
# WINDOWS_FILTER names (a GoogleTest filter) are not run; the executable is one CTest test, run
# under Wine by run_under_wine.sh, since each Wine process costs most of a second.
function(vt_test_folder name)
  cmake_parse_arguments(ARG "" "WINDOWS_FILTER" "DEPS;WINDOWS_EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    foreach(file IN LISTS ARG_WINDOWS_EXCLUDE)
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(vt_tests_${name} ${sources})
  target_link_libraries(vt_tests_${name} PRIVATE ${ARG_DEPS} vt_testsupport GTest::gmock_main)
  set_target_properties(vt_tests_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Tests that read files shipped in the source tree find it here.
  target_compile_definitions(vt_tests_${name} PRIVATE VT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(WIN32)
    set(filter)
    if(ARG_WINDOWS_FILTER)
      set(filter --gtest_filter=${ARG_WINDOWS_FILTER})
    endif()
    vt_wine_test(windows.${name} $<TARGET_FILE:vt_tests_${name}> --gtest_brief=1 ${filter})
  else()
    gtest_discover_tests(vt_tests_${name} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()

# A test that runs a Windows program under Wine, in the build's own Wine prefix, whose wineserver
# the fixture keeps running for the whole run.
function(vt_wine_test name)
  add_test(NAME ${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/windows/run_under_wine.sh ${CMAKE_BINARY_DIR}/wine ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS windows FIXTURES_REQUIRED wine
    SKIP_RETURN_CODE 77 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endfunction()
