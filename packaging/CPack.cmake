# The Debian package: ./package.sh builds it as build-release/tallowick_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallowick)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Tallowick Software")
set(CPACK_PACKAGE_CONTACT "Tallowick Software <support@tallowick.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search engine rank tracker for web sites")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.tallowick.example/")
# The long description under the summary line; CPack indents each line, and an empty line
# becomes the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tallowick keeps a list of entries, each a target web address and a keyword
phrase, and finds where the target ranks for the keywords on up to four
search engine columns, through the engines' result pages or a result
service. It shows the rank and page, the sites above and the live result
page, keeps a rank history beside the list, writes reports and imports and
exports entries as CSV.

tallowick-rank ranks a list without a window, for scheduled runs;
tallowick-demo tries the program offline against a local search engine
simulator (tallowick-engines, a testing tool).")
# The libraries the programs link, as dpkg-shlibdeps finds them; and what Qt loads at run time
# that no link names: the SQLite driver of the rank history.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
