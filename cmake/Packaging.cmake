# Installation layout and the Debian package.
#
#   bin/xmlpellor                       launcher: execs the program below
#   lib/xmlpellor/xmlpellor             the program, with its start page beside it
#   lib/xmlpellor/xmlpellor-engine      the process each transformation runs in
#   lib/xmlpellor/xmlpellor-saxon-engine  the same for XSLT 2.0 and 3.0, with its
#   lib/xmlpellor/xmlpellor-saxon.jar     Java part beside it
#   lib/xmlpellor/yabxmlpellor.htm
#   lib/xmlpellor/examples            -> ../../share/xmlpellor/examples
#   share/xmlpellor/examples/           the example documents and stylesheets
#   share/applications/xmlpellor.desktop
#   share/metainfo/<id>.metainfo.xml
#   share/icons/hicolor/<size>/apps/xmlpellor.{png,svg}
#   share/doc/xmlpellor/{copyright,changelog.gz}
#   share/man/man1/xmlpellor.1.gz
#
# The program and its start page are installed by src/CMakeLists.txt; the
# program finds the page through its own path, so the two stay together in a
# private folder and bin/ gets a launcher rather than the program itself.

set(XMLPELLOR_PRIVATE_DIR lib/xmlpellor)
set(XMLPELLOR_DATA_DIR share/xmlpellor)
set(XMLPELLOR_APPSTREAM_ID org.yab.xmlpellor)
set(XMLPELLOR_RELEASE_DATE 2026-12-07)
set(XMLPELLOR_CHANGELOG_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
# Whoever builds the package for others puts their own address here.
set(XMLPELLOR_MAINTAINER "The XMLPellor developers <xmlpellor@example.org>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
# The window icon is 16 x 16; menus, docks and software centres ask for more.
set(XMLPELLOR_ICON_SIZES 16 32 48 64 128)

set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)

# Launcher. Relative to its own resolved location, so the installed tree can
# be moved (or installed under any prefix) as a whole.
file(RELATIVE_PATH XMLPELLOR_LAUNCHER_TARGET /prefix/bin /prefix/${XMLPELLOR_PRIVATE_DIR}/xmlpellor)
configure_file(${packaging_src}/xmlpellor.sh.in ${packaging_out}/xmlpellor @ONLY)
install(PROGRAMS ${packaging_out}/xmlpellor DESTINATION bin)

# Examples live with the other architecture-independent data; the start page
# looks for them beside itself, hence the link.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${XMLPELLOR_DATA_DIR}/examples)
file(RELATIVE_PATH examples_link_target /prefix/${XMLPELLOR_PRIVATE_DIR} /prefix/${XMLPELLOR_DATA_DIR}/examples)
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${XMLPELLOR_PRIVATE_DIR}/examples\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${XMLPELLOR_PRIVATE_DIR}\")
  if(IS_SYMLINK \"\${link}\" OR EXISTS \"\${link}\")
    file(REMOVE_RECURSE \"\${link}\")
  endif()
  message(STATUS \"Installing: \${link} -> ${examples_link_target}\")
  file(CREATE_LINK ${examples_link_target} \"\${link}\" SYMBOLIC)
")

# Desktop entry and AppStream metainfo.
install(FILES ${packaging_src}/xmlpellor.desktop DESTINATION share/applications)
configure_file(${packaging_src}/xmlpellor.metainfo.xml.in
               ${packaging_out}/${XMLPELLOR_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_out}/${XMLPELLOR_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

# What Debian asks of every package: the licence, a changelog and a manual
# page, the last two compressed as gzip -9n makes them (no name, no time).
set(XMLPELLOR_DOC_DIR share/doc/xmlpellor)
configure_file(${packaging_src}/copyright.in ${packaging_out}/copyright @ONLY)
install(FILES ${packaging_out}/copyright DESTINATION ${XMLPELLOR_DOC_DIR})
configure_file(${packaging_src}/changelog.in ${packaging_out}/changelog @ONLY)
set(compressed_docs)
foreach(doc ${packaging_out}/changelog ${packaging_src}/xmlpellor.1)
  get_filename_component(doc_name ${doc} NAME)
  add_custom_command(
    OUTPUT ${packaging_out}/${doc_name}.gz
    COMMAND sh -c "gzip -9nc '${doc}' > '${packaging_out}/${doc_name}.gz'"
    DEPENDS ${doc}
    VERBATIM)
  list(APPEND compressed_docs ${packaging_out}/${doc_name}.gz)
endforeach()
add_custom_target(xmlpellor_docs ALL DEPENDS ${compressed_docs})
install(FILES ${packaging_out}/changelog.gz DESTINATION ${XMLPELLOR_DOC_DIR})
install(FILES ${packaging_out}/xmlpellor.1.gz DESTINATION share/man/man1)

# Icons: the window's 16 x 16 picture, scaled up pixel for pixel at build time
# so that the XPM stays the one drawing of it.
add_executable(xmlpellor_render_icon ${packaging_src}/icons/RenderIcon.cpp)
target_link_libraries(xmlpellor_render_icon PRIVATE Qt6::Gui)
# A build tool: warnings as for everything else, but no sanitizers, whose
# leak report at exit would fail the build rather than a test.
target_compile_options(xmlpellor_render_icon PRIVATE -Wall -Wextra -Wpedantic $<$<BOOL:${XMLPELLOR_WERROR}>:-Werror>)
set_target_properties(xmlpellor_render_icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${packaging_out})

set(icon_outputs ${packaging_out}/icons/scalable.svg)
foreach(size ${XMLPELLOR_ICON_SIZES})
  list(APPEND icon_outputs ${packaging_out}/icons/${size}x${size}.png)
  install(FILES ${packaging_out}/icons/${size}x${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME xmlpellor.png)
endforeach()
install(FILES ${packaging_out}/icons/scalable.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME xmlpellor.svg)
add_custom_command(
  OUTPUT ${icon_outputs}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/icons
  COMMAND xmlpellor_render_icon ${PROJECT_SOURCE_DIR}/resources/xmlpellor.xpm ${packaging_out}/icons ${XMLPELLOR_ICON_SIZES}
  DEPENDS xmlpellor_render_icon ${PROJECT_SOURCE_DIR}/resources/xmlpellor.xpm
  COMMENT "Rendering the icon at ${XMLPELLOR_ICON_SIZES} pixels and as SVG"
  VERBATIM)
add_custom_target(xmlpellor_icons ALL DEPENDS ${icon_outputs})

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME xmlpellor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Yab")
set(CPACK_PACKAGE_CONTACT "${XMLPELLOR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "XSLT tester: try an XSL stylesheet on an XML document")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the program links (dpkg-shlibdeps); Qt
# WebEngine's helper process and data follow from its own package's Depends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# XSLT 2.0 and 3.0 stylesheets run in Saxon-HE on a Java VM, which the Saxon
# engine loads at run time; without them 1.0 stylesheets work all the same.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsaxonhe-java, default-jre-headless")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack puts the summary first and indents this below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A small one-window desktop tool for people who write and test XSL
stylesheets. Name an XML document and an XSL stylesheet, press Apply, and
the HTML the transformation produced is shown in the window's browser;
when a file does not parse, the line, the path and the parser's reason
are shown instead. The parser never reaches the network and a stylesheet
cannot write files or create folders.")
include(CPack)

if(XMLPELLOR_BUILD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()
