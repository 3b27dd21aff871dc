# `cmake --install` and the Debian package. The program finds everything it loads (the help page,
# the player's web files, the extension, the host) beside itself, so the installed program keeps
# its own folder, with the architecture-independent files in share/ linked into it:
#
#   bin/quorvanta -> ../lib/quorvanta/quorvanta     bin/quorvanta-get
#   lib/quorvanta/   quorvanta, quorvanta-host, libquorvanta.so,
#                    help.htm, ruffle/, extension/ -> ../../share/quorvanta/...
#   lib/libquorvanta.so -> quorvanta/libquorvanta.so   include/quorvanta.h
#   share/quorvanta/ help.htm, ruffle/, extension/
#   share/applications/, share/icons/hicolor/{scalable,256x256}/apps/, share/metainfo/
#
# The library starts the program from its own (resolved) folder, and the program writes the host
# manifests for its own (resolved) folder, so the links lead both to lib/quorvanta.
include(GNUInstallDirs)
set(QV_APP_ID org.example.Quorvanta)
set(QV_INSTALL_APPDIR ${CMAKE_INSTALL_LIBDIR}/quorvanta)
set(QV_INSTALL_SHAREDIR ${CMAKE_INSTALL_DATADIR}/quorvanta)
set(_desktop ${PROJECT_SOURCE_DIR}/resources/desktop)

install(TARGETS quorvanta quorvanta-host RUNTIME DESTINATION ${QV_INSTALL_APPDIR})
install(TARGETS quorvanta_handoff LIBRARY DESTINATION ${QV_INSTALL_APPDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS quorvanta-get RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/help.htm DESTINATION ${QV_INSTALL_SHAREDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/extension/ DESTINATION ${QV_INSTALL_SHAREDIR}/extension)
install(DIRECTORY ${PROJECT_BINARY_DIR}/bin/ruffle/ DESTINATION ${QV_INSTALL_SHAREDIR}/ruffle)
install(FILES ${_desktop}/${QV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_desktop}/${QV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_desktop}/${QV_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_desktop}/${QV_APP_ID}-256.png RENAME ${QV_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# A relative symbolic link inside the prefix (both paths relative to it), made at install time so
# that it follows DESTDIR and the package's prefix.
function(qv_install_link target link)
    cmake_path(GET link PARENT_PATH _dir)
    file(RELATIVE_PATH _rel /root/${_dir} /root/${target})
    install(CODE "
        set(_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${link}\")
        cmake_path(GET _link PARENT_PATH _parent)
        file(MAKE_DIRECTORY \"\${_parent}\")
        file(REMOVE \"\${_link}\")
        message(STATUS \"Installing: \${_link} -> ${_rel}\")
        file(CREATE_LINK \"${_rel}\" \"\${_link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/${link}\")")
endfunction()

qv_install_link(${QV_INSTALL_APPDIR}/quorvanta ${CMAKE_INSTALL_BINDIR}/quorvanta)
qv_install_link(${QV_INSTALL_APPDIR}/libquorvanta.so ${CMAKE_INSTALL_LIBDIR}/libquorvanta.so)
foreach(_f help.htm ruffle extension)
    qv_install_link(${QV_INSTALL_SHAREDIR}/${_f} ${QV_INSTALL_APPDIR}/${_f})
endforeach()

# scripts/package.sh: a Debian package for /usr. Its Depends are the packages of the shared
# libraries the programs link (dpkg-shlibdeps), plus the Qt platform plugins Qt loads at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvanta developers")
set(CPACK_PACKAGE_CONTACT "The Quorvanta developers <quorvanta@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Download manager for Flash movies")
set(CPACK_PACKAGE_DESCRIPTION
    "Segmented, resumable downloads over up to ten connections, a category tree, page analysis \
that turns embedded movies into downloads, a movie player, and browser hand-off for Chromium \
and Firefox.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, hicolor-icon-theme")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
