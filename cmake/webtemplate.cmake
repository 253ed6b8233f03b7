# The web page template beside the program (<build>/src/template/web3d) and under the install
# prefix (share/zun/template/web3d): the page's own style sheet and script, jQuery and jQuery UI
# from Debian's packages, and the scene library when scripts/setup has fetched it.

set(ZUN_WEB_TEMPLATE_SOURCE ${CMAKE_SOURCE_DIR}/template/web3d)
set(ZUN_WEB_TEMPLATE_DIR ${CMAKE_BINARY_DIR}/src/template/web3d CACHE INTERNAL "The web page template beside the program")
set(ZUN_JS_DIR /usr/share/javascript)

file(GLOB_RECURSE _web_files CONFIGURE_DEPENDS ${ZUN_WEB_TEMPLATE_SOURCE}/*)
set(_web_copy
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZUN_WEB_TEMPLATE_DIR}/js ${ZUN_WEB_TEMPLATE_DIR}/css
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${ZUN_WEB_TEMPLATE_SOURCE} ${ZUN_WEB_TEMPLATE_DIR})
if(EXISTS ${ZUN_JS_DIR}/jquery/jquery.min.js)
  list(APPEND _web_copy COMMAND ${CMAKE_COMMAND} -E copy ${ZUN_JS_DIR}/jquery/jquery.min.js
    ${ZUN_WEB_TEMPLATE_DIR}/js/jquery.min.js)
  list(APPEND _web_files ${ZUN_JS_DIR}/jquery/jquery.min.js)
else()
  message(STATUS "jQuery not found (Debian package libjs-jquery): the web page template lacks it")
endif()
if(EXISTS ${ZUN_JS_DIR}/jquery-ui/jquery-ui.min.js)
  list(APPEND _web_copy
    COMMAND ${CMAKE_COMMAND} -E copy ${ZUN_JS_DIR}/jquery-ui/jquery-ui.min.js ${ZUN_WEB_TEMPLATE_DIR}/js/jquery-ui.min.js
    COMMAND ${CMAKE_COMMAND} -E copy ${ZUN_JS_DIR}/jquery-ui/themes/base/jquery-ui.min.css
      ${ZUN_WEB_TEMPLATE_DIR}/css/jquery-ui.min.css
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${ZUN_JS_DIR}/jquery-ui/themes/base/images
      ${ZUN_WEB_TEMPLATE_DIR}/css/images)
  list(APPEND _web_files ${ZUN_JS_DIR}/jquery-ui/jquery-ui.min.js)
else()
  message(STATUS "jQuery UI not found (Debian package libjs-jquery-ui): the web page template lacks it")
endif()
if(NOT EXISTS ${ZUN_WEB_TEMPLATE_SOURCE}/js/x3dom.js)
  message(STATUS "template/web3d/js/x3dom.js is missing (scripts/setup fetches it): exported pages will need it")
endif()

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/src/template/web3d.stamp
  ${_web_copy}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/src/template/web3d.stamp
  DEPENDS ${_web_files}
  COMMENT "Copying the web page template beside the program")
add_custom_target(zun_web_template ALL DEPENDS ${CMAKE_BINARY_DIR}/src/template/web3d.stamp)

install(DIRECTORY ${ZUN_WEB_TEMPLATE_DIR}/ DESTINATION share/zun/template/web3d)
