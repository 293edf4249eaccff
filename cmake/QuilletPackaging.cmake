# Version resources, manifests and the Windows release package.

# The processor that manifests name and the package's name ends with: the
# release is the 32-bit build, which runs on 32-bit and 64-bit Windows alike.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUILLET_WINDOWS_ARCH x86)
  set(QUILLET_PACKAGE_SUFFIX win32)
else()
  set(QUILLET_WINDOWS_ARCH amd64)
  set(QUILLET_PACKAGE_SUFFIX win64)
endif()

# Gives a Windows executable its version information and manifest.
function(quillet_add_resources target name description)
  if(NOT WIN32)
    return()
  endif()
  set(QUILLET_RC_NAME ${name})
  set(QUILLET_RC_DESCRIPTION ${description})
  set(QUILLET_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${name}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/app.manifest ${QUILLET_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
endfunction()
