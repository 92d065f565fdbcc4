# The Debian package: `cmake --build --preset package --target package`, or
# `cpack --preset package`, makes build/release/staywake_<version>_<arch>.deb
# from what `cmake --install` installs with prefix /usr, plus the maintainer
# scripts in Packaging/debian.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "staywake")
set(CPACK_PACKAGE_VENDOR "Staywake")
set(CPACK_PACKAGE_CONTACT "Staywake developers <developers@staywake.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the computer awake, even with the lid closed")
# The long description, in lines short enough for package managers to show.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Staywake is a tray app that keeps the computer awake: indefinitely, for a"
  "chosen time, or while a program runs. Night Brew keeps it awake with the"
  "lid closed, through a small helper service that holds a systemd-logind"
  "lock only while the app asks for it and lets go when the app quits or"
  "crashes.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Debian ships programs without their debugging information; the identity
# notes are allocated sections, which strip keeps.
set(CPACK_STRIP_FILES ON)
# Only the project's own install rules; nothing of the build tree's tests.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://staywake.app")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The helper talks to logind and polkit over the system bus; without them the
# app still keeps the computer awake, Night Brew says why it cannot.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus, polkitd, systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/Packaging/debian/postinst"
  "${PROJECT_SOURCE_DIR}/Packaging/debian/prerm"
  "${PROJECT_SOURCE_DIR}/Packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/StaywakeCPackProject.cmake")
configure_file("${PROJECT_SOURCE_DIR}/cmake/StaywakeCPackProject.cmake.in" "${CPACK_PROJECT_CONFIG_FILE}" @ONLY)

include(CPack)
