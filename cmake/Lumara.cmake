# Helpers for the project's components.
#
# A component is a folder under src/ with the core sources (*.cpp) at its top
# and, optionally, widget sources in ui/. lumara_component() makes a static
# library of the core sources and, with the GUI on, <name>_ui of the widgets.
# Core libraries must never see Qt Widgets: lumara_check_core() fails the
# configure step when one links it.

set(LUMARA_CORE_LIBS "" CACHE INTERNAL "")
set(LUMARA_UI_LIBS "" CACHE INTERNAL "")

function(lumara_component name)
  cmake_parse_arguments(ARG "" "" "DEPS;UI_DEPS" ${ARGN})
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(core_sources)
    add_library(${name} STATIC ${core_sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # A component whose sources are still to come.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
  set(LUMARA_CORE_LIBS ${LUMARA_CORE_LIBS} ${name} CACHE INTERNAL "")
  if(LUMARA_BUILD_GUI AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/ui)
    file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp
         ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
    if(ui_sources)
      add_library(${name}_ui STATIC ${ui_sources})
      set_target_properties(${name}_ui PROPERTIES AUTOMOC ON)
      target_link_libraries(${name}_ui PUBLIC ${name} Qt6::Widgets ${ARG_UI_DEPS})
      set(LUMARA_UI_LIBS ${LUMARA_UI_LIBS} ${name}_ui CACHE INTERNAL "")
    endif()
  endif()
endfunction()

function(lumara_check_core)
  foreach(lib ${LUMARA_CORE_LIBS})
    get_target_property(type ${lib} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(deps ${lib} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(deps ${lib} LINK_LIBRARIES)
    endif()
    if(deps AND "Qt6::Widgets" IN_LIST deps)
      message(FATAL_ERROR "${lib} is a core library and must not link Qt6::Widgets")
    endif()
  endforeach()
endfunction()


# Sources that exist (a folder being written may name files not there yet;
# the configure step of everybody else must not fail for it).
function(lumara_existing_sources out)
  set(result "")
  foreach(src ${ARGN})
    if(IS_ABSOLUTE ${src})
      set(path ${src})
    else()
      set(path ${CMAKE_CURRENT_SOURCE_DIR}/${src})
    endif()
    if(EXISTS ${path})
      list(APPEND result ${src})
    else()
      message(WARNING "${CMAKE_CURRENT_SOURCE_DIR}: ${src} does not exist (yet)")
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# A GoogleTest executable of the core: lumara_core_test(name SOURCES... DEPS ...)
function(lumara_core_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  lumara_existing_sources(sources ${ARG_SOURCES})
  if(NOT sources)
    add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/empty_test.cpp)
  else()
    add_executable(${name} ${sources})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    LUMARA_CORPORA_DIR="${PROJECT_SOURCE_DIR}/../shared/corpora"
    LUMARA_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS core)
endfunction()

# A Qt test executable of the GUI: lumara_gui_test(name SOURCES... DEPS ...)
function(lumara_gui_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  lumara_existing_sources(sources ${ARG_SOURCES})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    LUMARA_CORPORA_DIR="${PROJECT_SOURCE_DIR}/../shared/corpora"
    LUMARA_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS gui
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMARA_TEST_MODE=1")
endfunction()
