# Installation as a desktop program (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(KELMO_RESOURCES ${PROJECT_SOURCE_DIR}/resources)

foreach(program kelmo-preview kelmo-convert)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET kelmo-preview)
    install(FILES ${KELMO_RESOURCES}/kelmo-preview.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${KELMO_RESOURCES}/kelmo-preview.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 128)
        install(FILES ${KELMO_RESOURCES}/kelmo-preview-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kelmo-preview.png)
    endforeach()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelmo-preview)

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid
        COMMAND ${DESKTOP_FILE_VALIDATE} ${KELMO_RESOURCES}/kelmo-preview.desktop)
    # Hints count too: two main categories, for one, put the program twice in the menu.
    set_tests_properties(desktop_entry_valid PROPERTIES FAIL_REGULAR_EXPRESSION "hint|warning|error")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelmo-preview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelmo Preview project")
set(CPACK_PACKAGE_CONTACT "Kelmo Preview project <maintainers@kelmo-preview.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preview of course materials cut into one page per heading")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelmo Preview converts a course written in a word processor to HTML, strips the\n"
    "word processor's markup, cuts the document into one HTML page per heading and\n"
    "shows a heading tree beside the selected page. kelmo-convert does the same\n"
    "without a window.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelmo.example.org")
# Libraries come from dpkg-shlibdeps; what is started or loaded at run time is named here:
# the WebEngine helper process, the Qt platform plugins, Qt's translations and the converter.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6webenginecore6-bin, qt6-qpa-plugins, qt6-translations-l10n, libjpeg62-turbo, libreoffice-writer-nogui | libreoffice-writer, libreoffice-math-nogui | libreoffice-math")

include(CPack)
