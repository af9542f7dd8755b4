# The Debian package of the native tree: `cpack` in build/release writes
# sfxpack_<version>_<arch>.deb. Its dependencies come from dpkg-shlibdeps, so the
# package asks for exactly the libraries sfxpack links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# A package links the libraries of the release it was built on (Debian 13's libmsi is
# not 12's), so scripts/release.sh names that release after the version: +deb12, +deb13.
set(SFX_DEB_SUFFIX "" CACHE STRING "what follows the version of the .deb, e.g. +deb13")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION}${SFX_DEB_SUFFIX})
set(CPACK_PACKAGE_VENDOR "the Corvella installer developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds, lists, checks and extracts Corvella installers")
set(CPACK_PACKAGE_DESCRIPTION
    "sfxpack packs a Windows Installer database into a self-extracting installer: the\n"
    "bundled 32-bit Windows stub with a zlib-compressed package appended. It also lists,\n"
    "verifies and extracts such installers and package files, shows their signature, and\n"
    "tries an installer under Wine as a user would run it (sfxpack try).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the Corvella installer developers <installer@corvella.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What `sfxpack try` runs installers with: Wine as our tests run it (32-bit programs need
# wine32; wine64 beside it, as scripts/bootstrap.sh installs it on every release), a
# virtual display, ImageMagick's import for the pictures, Python for the session code,
# and bubblewrap with fuse-overlayfs for the sandbox it runs them in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "wine, wine64, wine32:i386 | wine32, xvfb, imagemagick, python3, bubblewrap, fuse-overlayfs")
# xz: smaller than the default gzip.
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack stamps the package's files and archives with SOURCE_DATE_EPOCH when it is set;
# a plain `cpack` in a reproducible tree uses the date the tree was configured with.
if(SFX_REPRODUCIBLE AND NOT SFX_SOURCE_DATE_EPOCH STREQUAL "")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/SfxCPackEpoch.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
       "if(\"\$ENV{SOURCE_DATE_EPOCH}\" STREQUAL \"\")\n"
       "  set(ENV{SOURCE_DATE_EPOCH} ${SFX_SOURCE_DATE_EPOCH})\n"
       "endif()\n")
endif()
include(CPack)
