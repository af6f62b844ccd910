# The Debian package kalmira_<version>_amd64.deb (CPack DEB; ./package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalmira)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KALMIRA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KALMIRA_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries come from dpkg-shlibdeps; what is loaded at run time is named here:
# the opener for extracted files, WAV playback, more picture formats to
# convert, and Qt's own dialogs in German.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, gstreamer1.0-plugins-good, qt6-image-formats-plugins, qt6-translations-l10n")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hide files and messages in BMP and WAV files")
# Extended description: CPack indents it and turns the empty line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Kalmira hides data in the least significant bits of BMP pictures and WAV
sounds, compressed and optionally encrypted with AES-256 or an
RC4-compatible cipher, and gets it back again. The programs speak German.

KalmiraB hides any file, KalmiraA hides text messages, and the command-line
tool kalmira does both for scripts. They also convert pictures into
suitable carriers, show carrier details and wipe files.]])
include(CPack)
