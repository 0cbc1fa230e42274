# The Debian package: `cpack -G DEB` in a build folder (or `cpack --preset deb`). It installs the
# same tree as `cmake --install` into /opt/webletter and adds, through WebletterDebExtras.cmake,
# what Debian expects under /usr: the link /usr/bin/webletter, the copyright and the changelog.
set(CPACK_PACKAGE_NAME webletter)
set(CPACK_PACKAGE_VENDOR "The Webletter developers")
set(CPACK_PACKAGE_CONTACT "The Webletter developers <webletter@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mails a web page as an HTML e-mail")
# Lines of at most 79 characters, as Debian wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "Webletter downloads one web page and sends its HTML, unchanged, as an HTML\n"
  "e-mail through an SMTP server. Run from cron or a systemd timer it sends a\n"
  "newsletter that lives on a web server. Its window sends a page by hand and\n"
  "keeps the defaults of the scheduled mailings.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/webletter)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/WebletterDebExtras.cmake)
set(CPACK_WEBLETTER_DIST ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_WEBLETTER_WINDOW ${WEBLETTER_BUILD_WINDOW})

include(CPack)
