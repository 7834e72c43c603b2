# Version resources: every binary kivo ships carries a VERSIONINFO with the
# project's version, so that Explorer, installers and support staff can tell
# which kivo a machine runs.

enable_language(RC)

# Compiles cmake/version.rc.in into `target`, described by `description`
# (the FileDescription shown in Explorer). The file name comes from the
# target itself, so an OUTPUT_NAME or a suffix can never disagree with it.
function(kivo_add_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(KIVO_RC_FILETYPE VFT_APP)
  else()
    set(KIVO_RC_FILETYPE VFT_DLL)
  endif()
  set(KIVO_RC_DESCRIPTION "${description}")
  set(KIVO_RC_TARGET ${target})
  get_target_property(KIVO_RC_INTERNAL_NAME ${target} OUTPUT_NAME)
  if(NOT KIVO_RC_INTERNAL_NAME)
    set(KIVO_RC_INTERNAL_NAME ${target})
  endif()
  # configure_file fills in the project's values; file(GENERATE) then
  # resolves the target's file name, known only at generation time.
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
  target_sources(${target} PRIVATE ${rc})
endfunction()
