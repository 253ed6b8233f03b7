# The program's guide (Help Topics) beside the program (<build>/src/help) and under the install
# prefix (share/zun/help), where the program looks for it.

set(ZUN_HELP_SOURCE ${CMAKE_SOURCE_DIR}/doc/help)
set(ZUN_HELP_DIR ${CMAKE_BINARY_DIR}/src/help CACHE INTERNAL "The program's guide beside the program")
file(GLOB_RECURSE _help_files CONFIGURE_DEPENDS ${ZUN_HELP_SOURCE}/*)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/src/help.stamp
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${ZUN_HELP_SOURCE} ${ZUN_HELP_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/src/help.stamp
  DEPENDS ${_help_files}
  COMMENT "Copying the guide beside the program")
add_custom_target(zun_help ALL DEPENDS ${CMAKE_BINARY_DIR}/src/help.stamp)
install(DIRECTORY ${ZUN_HELP_SOURCE}/ DESTINATION share/zun/help)
