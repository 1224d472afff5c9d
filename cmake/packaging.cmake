# Installation (any prefix) and the Debian package built from it with CPack.
include(GNUInstallDirs)

install(TARGETS proxyharvest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/proxyharvest.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/proxyharvest.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES docs/proxyharvest.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The system data directory: where an installed program looks for an IP database every user
# shares, and by which the program knows it is installed.
install(FILES data/README.system-data DESTINATION ${CMAKE_INSTALL_DATADIR}/proxyharvest
        RENAME README)
# The service unit names the executable where this installation puts it.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/docs/proxyharvest.service\" unit)
  string(REPLACE \"ExecStart=/usr/local/bin/proxyharvest\"
                 \"ExecStart=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/proxyharvest\"
                 unit \"\${unit}\")
  set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  file(MAKE_DIRECTORY \"\${dir}\")
  message(STATUS \"Installing: \${dir}/proxyharvest.service\")
  file(WRITE \"\${dir}/proxyharvest.service\" \"\${unit}\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME proxyharvest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ProxyHarvest maintainers <maintainers@users.noreply.c-seed-26bec957.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "proxy harvester and validator (代理采集验证工具)")
set(CPACK_PACKAGE_DESCRIPTION
    "ProxyHarvest harvests proxy addresses from public lists and validates them through many
parallel probes, with a window in Simplified Chinese, a headless server mode with a control
API, and the one-shot commands check and harvest for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries it links, found by dpkg-shlibdeps; and the plugin it loads, which that cannot
# see: the SQLite driver of the list's store.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# The icon's SVG renderer, Qt's Chinese button texts, a CJK font, and the PostgreSQL driver a
# server sharing its pool (--db postgresql://) loads.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libqt6svg6, qt6-translations-l10n, fonts-noto-cjk, libqt6sql6-psql")
include(CPack)
