# Installation and the Debian package.
#
#   cmake --install build --prefix P     P/bin: Kestrune, kestrune-cli,
#                                        kestrune-gateway-sim
#                                        P/lib/<multiarch>/kestrune/libZarvek.so
#                                        P/share/kestrune: language files and
#                                        the default Kestrune.INI
#                                        /etc/kestrune/Kestrune.INI for P=/usr,
#                                        else P/etc/kestrune/Kestrune.INI
#   cpack -G DEB (in build/)             kestrune_<version>_<arch>.deb
#
# base/ProgramDir.cpp finds the same folders from the executable's place.

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)

# The simulator's Modbus slave links the support library itself: it finds it
# in the private folder relative to its own place (so an unpacked tree works).
set_target_properties(kestrune-gateway-sim PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${KESTRUNE_PRIVATE_LIBDIR}")
install(TARGETS kestrune-cli kestrune-gateway-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KESTRUNE_BUILD_GUI)
    install(TARGETS Kestrune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# A plain shared object, loaded by its full path: no execute bit, no name in
# the system's library folders.
install(TARGETS Zarvek
    LIBRARY DESTINATION ${KESTRUNE_PRIVATE_LIBDIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB _languages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/lang/Kestrune_Language.*)
install(FILES ${_languages} ${PROJECT_SOURCE_DIR}/app/Kestrune.INI
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrune)

# The shared INI goes to the configuration folder of the prefix the files are
# installed under, decided at install time (cmake --install --prefix and
# CPack choose it then). An INI already there is the site's own and is kept.
install(CODE "set(_kestrune_ini_source \"${PROJECT_SOURCE_DIR}/app/Kestrune.INI\")")
install(CODE [[
    if(CMAKE_INSTALL_PREFIX MATCHES "(^|/)usr/?$")
        set(_etc "${CMAKE_INSTALL_PREFIX}/../etc/kestrune")
    else()
        set(_etc "${CMAKE_INSTALL_PREFIX}/etc/kestrune")
    endif()
    cmake_path(NORMAL_PATH _etc)
    set(_ini "$ENV{DESTDIR}${_etc}/Kestrune.INI")
    if(EXISTS "${_ini}")
        message(STATUS "Kept: ${_ini}")
    else()
        # file(INSTALL) puts DESTDIR in front of an absolute destination.
        file(INSTALL "${_kestrune_ini_source}" DESTINATION "${_etc}"
             PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
]])

# The desktop entry and the logo at the usual icon sizes, painted at build
# time by the wizard's own logo code.
if(KESTRUNE_BUILD_GUI)
    add_executable(kestrune-icons ${PROJECT_SOURCE_DIR}/app/IconTool.cpp)
    target_link_libraries(kestrune-icons PRIVATE kestrune_gui)
    set(_sizes 16 22 24 32 48 64 128 256)
    set(_icons)
    foreach(_s IN LISTS _sizes)
        list(APPEND _icons ${_gen}/icons/${_s}x${_s}/apps/kestrune.png)
    endforeach()
    add_custom_command(OUTPUT ${_icons}
        COMMAND kestrune-icons ${_gen}/icons ${_sizes}
        DEPENDS kestrune-icons
        COMMENT "Painting the desktop icons"
        VERBATIM)
    add_custom_target(kestrune_icons ALL DEPENDS ${_icons})
    install(DIRECTORY ${_gen}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${_pkg}/kestrune.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# Man pages: kestrune-cli and kestrune-gateway-sim from their own --help (so
# they always match the programs), the wizard's from packaging/Kestrune.1.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
set(_manpages)
configure_file(${_pkg}/Kestrune.1 ${_gen}/man/Kestrune.1 @ONLY)
if(KESTRUNE_BUILD_GUI)
    list(APPEND _manpages ${_gen}/man/Kestrune.1)
endif()
if(HELP2MAN AND NOT KESTRUNE_SANITIZE)
    foreach(_program IN ITEMS kestrune-cli kestrune-gateway-sim)
        if(_program STREQUAL "kestrune-cli")
            set(_what "talk to M-Bus, Modbus and ASCII equipment from the command line")
        else()
            set(_what "simulated M-Bus gateways, meters, Modbus slave and ASCII server")
        endif()
        add_custom_command(OUTPUT ${_gen}/man/${_program}.1
            COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                ${HELP2MAN} --no-info --no-discard-stderr --section=1
                    --name=${_what} --output=${_gen}/man/${_program}.1
                    $<TARGET_FILE:${_program}>
            DEPENDS ${_program}
            COMMENT "Man page of ${_program} from its --help"
            VERBATIM)
        list(APPEND _manpages ${_gen}/man/${_program}.1)
    endforeach()
else()
    message(STATUS "help2man not found (or a sanitizer build): no man pages for the tools")
endif()
set(_manpages_gz)
foreach(_page IN LISTS _manpages)
    add_custom_command(OUTPUT ${_page}.gz
        COMMAND ${GZIP} -9nkf ${_page}
        DEPENDS ${_page}
        VERBATIM)
    list(APPEND _manpages_gz ${_page}.gz)
endforeach()
add_custom_target(kestrune_man ALL DEPENDS ${_manpages_gz})
install(FILES ${_manpages_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian asks of every package: copyright and changelog.
set(KESTRUNE_MAINTAINER_EMAIL "kestrune@example.org")
configure_file(${_pkg}/changelog ${_gen}/changelog @ONLY)
add_custom_command(OUTPUT ${_gen}/changelog.gz
    COMMAND ${GZIP} -9nkf ${_gen}/changelog
    DEPENDS ${_pkg}/changelog
    VERBATIM)
add_custom_target(kestrune_changelog ALL DEPENDS ${_gen}/changelog.gz)
install(FILES ${_pkg}/copyright ${_gen}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrune)
install(FILES ${_pkg}/kestrune.lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kestrune)

# ---- the Debian package -------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "Kestrune developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kestrune developers <${KESTRUNE_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wizard for commissioning M-Bus installations")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrune leads a service technician through commissioning an M-Bus\n"
    "installation: find gateways on the local network and give them IP\n"
    "settings, search the bus for meters, read and readdress one meter, read\n"
    "Modbus registers and ASCII tags from a gateway, and watch every telegram\n"
    "in a traffic log. The package also holds kestrune-cli, the same\n"
    "operations on the command line, and kestrune-gateway-sim, simulated\n"
    "gateways and meters on loopback addresses and pseudo-terminals.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The one file a site edits: dpkg keeps the site's copy on upgrade.
file(WRITE ${_gen}/conffiles "/etc/kestrune/Kestrune.INI\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_gen}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
