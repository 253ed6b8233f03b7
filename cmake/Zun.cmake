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

# Where the test and benchmark programs find the source tree and write their files
# (tests/testpaths.h): the one object that names the checkout's folders.
configure_file(${ZUN_SOURCE_ROOT}/tests/testpaths.cpp.in ${CMAKE_BINARY_DIR}/tests/testpaths.cpp @ONLY)
add_library(zun_testpaths STATIC ${CMAKE_BINARY_DIR}/tests/testpaths.cpp)
target_include_directories(zun_testpaths PUBLIC ${ZUN_SOURCE_ROOT}/tests)
# zun_source_path_definition(<var> <name> <folder>): the definition NAME=ZunSourcePath("<folder
# relative to the source root>"); zun_binary_path_definition likewise below the build root.
function(zun_source_path_definition var name folder)
  file(RELATIVE_PATH _rel ${ZUN_SOURCE_ROOT} ${folder})
  set(${var} "${name}=ZunSourcePath(\"${_rel}\")" PARENT_SCOPE)
endfunction()
function(zun_binary_path_definition var name folder)
  file(RELATIVE_PATH _rel ${CMAKE_BINARY_DIR} ${folder})
  set(${var} "${name}=ZunBinaryPath(\"${_rel}\")" PARENT_SCOPE)
endfunction()

# ZUN_UNITY_BUILD compiles each library a batch of its sources at a time, parsing the headers
# they share once per batch (scripts/test turns it on: a small machine builds three trees).
# The batch files are written here rather than by CMake's UNITY_BUILD, which includes each source
# by its absolute path: these name it relative to the batch, so a checkout in another folder
# compiles the same text and the compiler cache serves it.
option(ZUN_UNITY_BUILD "Compile the libraries in batches of sources" OFF)
set(ZUN_UNITY_BATCH_SIZE 8)
# zun_unity_sources(<target> <out-var> <source>...): the sources to compile, batches in unity
# builds (the sources themselves stay in the target as headers, for editors). A source given
# options or definitions of its own (set before the library is added) compiles alone.
function(zun_unity_sources target out)
  set(_sources ${ARGN})
  if(NOT ZUN_UNITY_BUILD)
    set(${out} ${_sources} PARENT_SCOPE)
    return()
  endif()
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/unity)
  set(_batches "")
  set(_content "")
  set(_count 0)
  set(_index 0)
  set(_alone "")
  foreach(_src IN LISTS _sources)
    get_source_file_property(_options ${_src} COMPILE_OPTIONS)
    get_source_file_property(_definitions ${_src} COMPILE_DEFINITIONS)
    if(_options OR _definitions)
      list(APPEND _alone ${_src})
      continue()
    endif()
    file(RELATIVE_PATH _rel ${_dir} ${_src})
    string(APPEND _content "#include \"${_rel}\"\n")
    math(EXPR _count "${_count} + 1")
    if(_count EQUAL ZUN_UNITY_BATCH_SIZE)
      file(CONFIGURE OUTPUT ${_dir}/${target}_${_index}.cpp CONTENT "${_content}")
      list(APPEND _batches ${_dir}/${target}_${_index}.cpp)
      math(EXPR _index "${_index} + 1")
      set(_content "")
      set(_count 0)
    endif()
  endforeach()
  if(_count GREATER 0)
    file(CONFIGURE OUTPUT ${_dir}/${target}_${_index}.cpp CONTENT "${_content}")
    list(APPEND _batches ${_dir}/${target}_${_index}.cpp)
  endif()
  set(_batched ${_sources})
  if(_alone)
    list(REMOVE_ITEM _batched ${_alone})
  endif()
  set_source_files_properties(${_batched} PROPERTIES HEADER_FILE_ONLY ON)
  set(${out} ${_batches} ${_sources} PARENT_SCOPE)
endfunction()

# zun_add_library(<folder> [DEPS lib...] [PUBLIC_DEPS lib...])
# One static library per source folder, made of every .cpp directly in that folder.
function(zun_add_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _cpp CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdr CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(_cpp)
    zun_unity_sources(zun_${folder} _compiled ${_cpp})
    add_library(zun_${folder} STATIC ${_compiled} ${_hdr})
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
  zun_unity_sources(zun_${folder}_ui _compiled ${_cpp})
  add_library(zun_${folder}_ui STATIC ${_compiled} ${_hdr} ${_qrc})
  set_target_properties(zun_${folder}_ui PROPERTIES AUTOMOC ON AUTORCC ON)
  target_include_directories(zun_${folder}_ui PUBLIC ${ZUN_SOURCE_ROOT}/src)
  target_link_libraries(zun_${folder}_ui PUBLIC ${ARG_DEPS} Qt6::Widgets Qt6::Gui Qt6::Core
    OpenMP::OpenMP_CXX Threads::Threads)
  target_compile_definitions(zun_${folder}_ui PUBLIC QT_NO_KEYWORDS)
  set_property(GLOBAL APPEND PROPERTY ZUN_UI_LIBRARIES zun_${folder}_ui)
endfunction()

# The test programs' own code is compiled at -O1 (the libraries they test keep their level): it
# spends its time in the libraries, and at -O2 a test takes about a third longer to compile.
# (GCC 12 finds string concatenations out of bounds or overflowing when the standard headers come
# precompiled: false reports, which the same code compiled without the header does not get.)
function(zun_test_compile_options target)
  target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O1> -Wno-array-bounds
    -Wno-stringop-overflow)
endfunction()

# zun_test_cost(<test>): gives the test its cost from ZUN_TEST_COSTS (name=seconds;...), when it
# has one there.
function(zun_test_cost test)
  foreach(_entry ${ZUN_TEST_COSTS})
    if(_entry MATCHES "^${test}=(.+)$")
      set_tests_properties(${test} PROPERTIES COST ${CMAKE_MATCH_1})
    endif()
  endforeach()
endfunction()

# The OpenGL and window tests (label gl) each run on a desktop of their own: ctest starts every one
# through this launcher (its own Xvfb with openbox, 77 when they are missing). ctest runs them side
# by side, and on a shared desktop another test's new window takes the focus, which closes an open
# menu and moves activation under the test. ZUN_ON_DESKTOP tells a program that starts itself on a
# desktop (zun::test::RunOnOwnDesktop) that it is on one; WM_SESSION_SCREEN in a test's
# environment sets that desktop's size.
set(ZUN_DESKTOP ${ZUN_SOURCE_ROOT}/tests/script/wm_session.sh)
# zun_desktop_test(<test>): the properties of a test whose command starts with ${ZUN_DESKTOP}.
function(zun_desktop_test test)
  set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ZUN_ON_DESKTOP=1)
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
    # The paths come from zun_testpaths (see tests/testpaths.h); these sources take no precompiled
    # header, which declares it for the tests.
    target_compile_definitions(zun_${folder}_testsupport PUBLIC "ZUN_SOURCE_DIR=ZunSourcePath(\"\")")
    target_compile_options(zun_${folder}_testsupport PRIVATE -include testpaths.h)
    target_link_libraries(zun_${folder}_testsupport PUBLIC zun_testpaths)
    set(_support zun_${folder}_testsupport)
  endif()
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    set(_exe ${folder}_${_name})
    add_executable(${_exe} ${_t})
    target_link_libraries(${_exe} PRIVATE ${_support} ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${_exe} PRIVATE ${ZUN_SOURCE_ROOT}/src ${ZUN_SOURCE_ROOT}/tests)
    zun_source_path_definition(_test_dir ZUN_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    zun_binary_path_definition(_test_binary_dir ZUN_TEST_BINARY_DIR ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(${_exe} PRIVATE zun_testpaths)
    target_compile_definitions(${_exe} PRIVATE "ZUN_SOURCE_DIR=ZunSourcePath(\"\")"
      ZUN_PYTHON="${ZUN_PYTHON}" "${_test_dir}" "${_test_binary_dir}")
    zun_test_compile_options(${_exe})
    if("gui" IN_LIST ARG_LABELS OR "gl" IN_LIST ARG_LABELS)
      target_precompile_headers(${_exe} REUSE_FROM zun_widget_test_pch)
    else()
      target_precompile_headers(${_exe} REUSE_FROM zun_test_pch)
    endif()
    if("gl" IN_LIST ARG_LABELS)
      add_test(NAME ${_exe} COMMAND ${ZUN_DESKTOP} $<TARGET_FILE:${_exe}> WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    else()
      add_test(NAME ${_exe} COMMAND ${_exe} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    set_tests_properties(${_exe} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 900)
    zun_test_cost(${_exe})
    if("gui" IN_LIST ARG_LABELS OR "gl" IN_LIST ARG_LABELS)
      # Widget tests: moc for the test's own QObject classes, a private config folder, and the
      # folder the screenshots go to. gui tests draw offscreen; gl tests on their own desktop.
      # moc only for a test that declares QObject classes of its own.
      file(STRINGS ${_t} _qobject REGEX "Q_OBJECT|Q_GADGET")
      if(_qobject)
        set_target_properties(${_exe} PROPERTIES AUTOMOC ON)
      endif()
      # The Qt modules and scene library of the widget tests' precompiled header, for every one of
      # them: it serves only programs compiled with the same definitions.
      target_link_libraries(${_exe} PRIVATE Qt6::Test Qt6::Widgets Qt6::Network Qt6::OpenGLWidgets zun_osg)
      zun_binary_path_definition(_screens ZUN_SCREENS_DIR ${ZUN_SCREENS_DIR})
      target_compile_definitions(${_exe} PRIVATE "${_screens}")
      set(_env "ZUN_SCREENS_DIR=${ZUN_SCREENS_DIR}")
      if("gui" IN_LIST ARG_LABELS)
        list(APPEND _env "QT_QPA_PLATFORM=offscreen")
      endif()
      set_tests_properties(${_exe} PROPERTIES ENVIRONMENT "${_env}")
      if("gl" IN_LIST ARG_LABELS)
        zun_desktop_test(${_exe})
      endif()
    endif()
  endforeach()
endfunction()

# zun_add_bench(<name> SOURCES ... LIBS ...) : a benchmark executable bench_<name>.
function(zun_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_LIBS})
  target_include_directories(bench_${name} PRIVATE ${ZUN_SOURCE_ROOT}/src)
  target_link_libraries(bench_${name} PRIVATE zun_testpaths)
  target_compile_options(bench_${name} PRIVATE -include testpaths.h)
  target_compile_definitions(bench_${name} PRIVATE ZUN_PYTHON="${ZUN_PYTHON}" "ZUN_SOURCE_DIR=ZunSourcePath(\"\")")
endfunction()
