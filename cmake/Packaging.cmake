# `cpack -G DEB` in the build folder makes a Debian package of what
# `cmake --install` puts in place. Build with -DCMAKE_BUILD_TYPE=Release.
set(CPACK_PACKAGE_NAME "riventar")
set(CPACK_PACKAGE_VENDOR "The Riventar developers")
set(CPACK_PACKAGE_CONTACT "The Riventar developers <riventar@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion for a car's on-board trip computer")
set(CPACK_PACKAGE_DESCRIPTION
  "Riventar talks to a car's on-board trip computer over a serial port:\n"
  "it downloads the stored trips, keeps them in .dat files, exports them for a\n"
  "spreadsheet, shows and prints statistics per period, and reads and changes\n"
  "the device's settings. Its texts are Russian. riventar-cli does the same\n"
  "from scripts and terminals. riventar-sim, a simulated device on a\n"
  "pseudo-terminal, is included.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "riventar")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The libraries come from dpkg-shlibdeps; what is loaded at run time without
# being linked is named here: Qt's X11 platform plugin and the font the forms
# use, and Qt's own Russian texts for its buttons and dialogs. The serial port
# listing (Qt Serial Port, through udev) and the chart and SVG libraries are
# named too, so the package says so even where shlibdeps is not run. The
# logbook's SQLite and PostgreSQL drivers are Qt SQL plugins, loaded, never linked;
# SQLite itself is linked too (its backup API).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-liberation, qt6-translations-l10n, libqt6serialport6, libudev1, libqt6charts6, ")
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libqt6sql6-sqlite, libsqlite3-0, libqt6sql6-psql")
# riventar-cli's year report as a PDF: Qt Gui's PDF writer, with the offscreen
# platform plugin (no display needed) that package carries, and the forms' font.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6gui6")
# riventar-web: its HTTP library (TLS through OpenSSL) and libsodium for the users' hashes.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libcpp-httplib0.11, libssl3, libsodium23")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-gtk-platformtheme")

include(CPack)
