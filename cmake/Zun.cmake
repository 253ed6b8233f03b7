# Helpers shared by the folder CMakeLists files.
#
# The libraries carry no absolute path in their compile definitions: with CCACHE_BASEDIR set,
# their objects are then shared by every checkout of the tree. Tests and benchmarks, which look
# for files of the source tree, get the paths they need.

set(ZUN_SOURCE_ROOT ${CMAKE_SOURCE_DIR})
set(ZUN_PYTHON /usr/bin/python3)
set_property(GLOBAL PROPERTY ZUN_CORE_LIBRARIES "")
set_property(GLOBAL PROPERTY ZUN_UI_LIBRARIES "")
set(ZUN_SCREENS_DIR ${CMAKE_BINARY_DIR}/screens)

# zun_add_library(<folder> [DEPS lib...] [PUBLIC_DEPS lib...])
# One static library per source folder, made of every .cpp directly in that folder.
function(zun_add_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _cpp CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdr CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(_cpp)
    add_library(zun_${folder} STATIC ${_cpp} ${_hdr})
    set(_vis PUBLIC)
  else()
    # A folder with headers only (or nothing yet).
    add_library(zun_${folder} INTERFACE)
    set(_vis INTERFACE)
  endif()
  target_include_directories(zun_${folder} ${_vis} ${ZUN_SOURCE_ROOT}/src)
  target_link_libraries(zun_${folder} ${_vis} ${ARG_DEPS} OpenMP::OpenMP_CXX Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY ZUN_CORE_LIBRARIES zun_${folder})
endfunction()

# zun_add_ui_library(<folder> [DEPS lib...])
# The Qt widgets of a folder: every .cpp/.h in src/<folder>/ui/, as the static library
# zun_<folder>_ui. moc runs only for this library (and only on headers that declare Q_OBJECT).
function(zun_add_ui_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _cpp CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdr CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(GLOB _qrc CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(zun_${folder}_ui STATIC ${_cpp} ${_hdr} ${_qrc})
  set_target_properties(zun_${folder}_ui PROPERTIES AUTOMOC ON AUTORCC ON)
  target_include_directories(zun_${folder}_ui PUBLIC ${ZUN_SOURCE_ROOT}/src)
  target_link_libraries(zun_${folder}_ui PUBLIC ${ARG_DEPS} Qt6::Widgets Qt6::Gui Qt6::Core
    OpenMP::OpenMP_CXX Threads::Threads)
  target_compile_definitions(zun_${folder}_ui PUBLIC QT_NO_KEYWORDS)
  set_property(GLOBAL APPEND PROPERTY ZUN_UI_LIBRARIES zun_${folder}_ui)
endfunction()

# zun_add_tests(<folder> [LIBS lib...] [LABELS label...])
# One test executable per <name>_test.cpp in the current folder, named <folder>_<name>_test,
# registered with CTest. Helper sources of the folder (files not ending in _test.cpp) are
# compiled into every test of the folder.
function(zun_add_tests folder)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS core)
  endif()
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_helpers ${_all})
  if(_tests)
    list(REMOVE_ITEM _helpers ${_tests})
  endif()
  if(_helpers)
    add_library(zun_${folder}_testsupport STATIC ${_helpers})
    target_link_libraries(zun_${folder}_testsupport PUBLIC ${ARG_LIBS} GTest::gtest GTest::gmock)
    target_include_directories(zun_${folder}_testsupport PUBLIC ${ZUN_SOURCE_ROOT}/src ${ZUN_SOURCE_ROOT}/tests)
    target_compile_definitions(zun_${folder}_testsupport PUBLIC ZUN_SOURCE_DIR="${ZUN_SOURCE_ROOT}")
    set(_support zun_${folder}_testsupport)
  endif()
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    set(_exe ${folder}_${_name})
    add_executable(${_exe} ${_t})
    target_link_libraries(${_exe} PRIVATE ${_support} ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${_exe} PRIVATE ${ZUN_SOURCE_ROOT}/src ${ZUN_SOURCE_ROOT}/tests)
    target_compile_definitions(${_exe} PRIVATE
      ZUN_SOURCE_DIR="${ZUN_SOURCE_ROOT}"
      ZUN_PYTHON="${ZUN_PYTHON}"
      ZUN_TEST_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
      ZUN_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
    add_test(NAME ${_exe} COMMAND ${_exe} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${_exe} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 900)
    if("gui" IN_LIST ARG_LABELS OR "gl" IN_LIST ARG_LABELS)
      # Widget tests: moc for the test's own QObject classes, a private config folder, and the
      # folder the screenshots go to. gui tests draw offscreen; gl tests need an X server
      # (scripts/test runs them under xvfb-run).
      set_target_properties(${_exe} PROPERTIES AUTOMOC ON)
      target_link_libraries(${_exe} PRIVATE Qt6::Test)
      target_compile_definitions(${_exe} PRIVATE ZUN_SCREENS_DIR="${ZUN_SCREENS_DIR}")
      set(_env "ZUN_SCREENS_DIR=${ZUN_SCREENS_DIR}")
      if("gui" IN_LIST ARG_LABELS)
        list(APPEND _env "QT_QPA_PLATFORM=offscreen")
      endif()
      set_tests_properties(${_exe} PROPERTIES ENVIRONMENT "${_env}")
    endif()
  endforeach()
endfunction()

# zun_add_bench(<name> SOURCES ... LIBS ...) : a benchmark executable bench_<name>.
function(zun_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_LIBS})
  target_include_directories(bench_${name} PRIVATE ${ZUN_SOURCE_ROOT}/src)
  target_compile_definitions(bench_${name} PRIVATE ZUN_PYTHON="${ZUN_PYTHON}" ZUN_SOURCE_DIR="${ZUN_SOURCE_ROOT}")
endfunction()
