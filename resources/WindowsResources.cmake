# korvo_windows_resources(TARGET NAME DESCRIPTION): gives a Windows program
# its resources (resources/program.rc.in): the icon, the version information
# from the project's version and the manifest. Nothing elsewhere.
function(korvo_windows_resources target name description)
  if(NOT WIN32)
    return()
  endif()
  set(KORVO_RC_NAME ${name})
  set(KORVO_RC_DESCRIPTION ${description})
  set(KORVO_RC_ICON ${CMAKE_SOURCE_DIR}/resources/korvo.ico)
  set(KORVO_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${name}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/resources/program.manifest.in ${KORVO_RC_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  # The resource compiler reads these files: a change rebuilds the resources.
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc APPEND PROPERTY OBJECT_DEPENDS
               ${KORVO_RC_ICON} ${KORVO_RC_MANIFEST})
endfunction()
