# Read by cpack once per generator: the package gets the system layout, the archive the
# folder layout inside one folder named with the version, so unpacking a new version never
# lands on an older folder's settings and assessments.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL deb)
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
else()
  set(CPACK_COMPONENTS_ALL portable)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME "vedris-${CPACK_PACKAGE_VERSION}")
endif()
