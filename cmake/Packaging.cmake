# What a desktop needs to list the configurator, and the .deb that carries
# it. The user package is the component "configurator"; the simulator
# installs as its own component and stays out of it.

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

if(TARGET vexs-cli)
  install(TARGETS vexs-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT configurator)
endif()

install(FILES ${_pkg}/${VEXS_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT configurator)
install(FILES ${_pkg}/${VEXS_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT configurator)
install(FILES ${_pkg}/icons/${VEXS_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT configurator)
# The PNGs are rendered from the SVG once and kept in the repository, so
# that building needs no SVG renderer.
foreach(_size 48 128)
  install(FILES ${_pkg}/icons/${VEXS_APP_ID}-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
          RENAME ${VEXS_APP_ID}.png COMPONENT configurator)
endforeach()

# The user guide that "Справка" (F1) shows, with its screenshots, where the
# program looks for it: share/vexs-configurator beside its bin folder.
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide/guide.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vexs-configurator/guide COMPONENT configurator)
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshots/main-window.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/measurement.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/trend.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/monitor.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/scan.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/preview.png
              ${PROJECT_SOURCE_DIR}/docs/screenshots/journal.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vexs-configurator/screenshots COMPONENT configurator)

# USB serial adapters: access for the user at the desk, no ModemManager
# probing, the FTDI latency timer at 1 ms. udev reads a package's rules from
# /usr/lib/udev/rules.d (the number matters, see the file), so the folder is
# lib/udev/rules.d under the prefix, not the architecture's libdir.
install(FILES ${_pkg}/60-vexs-usb-serial.rules
        DESTINATION lib/udev/rules.d COMPONENT configurator)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexs-configurator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VEXS")
set(CPACK_PACKAGE_CONTACT "VEXS <support@vexs.ru>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://vexs.ru/configurator/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configurator for the VEKS-310T2 measuring recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the whole configuration of one VEKS-310T2 recorder over a serial port
with an RS-485 converter or over TCP to an Ethernet gateway, edits and writes
each group of settings, shows live values and calibrates and tests the inputs,
the current output and the pen.

Конфигуратор регистратора ВЕКС-310Т2: считывает конфигурацию прибора через
последовательный порт с преобразователем RS-485 или по TCP через шлюз Ethernet,
изменяет и записывает настройки, показывает текущие значения, калибрует и
проверяет входы, токовый выход и перо.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own Russian texts; without them the program still runs, in English
# dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

# One package made of the user components only.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL configurator)

include(CPack)
