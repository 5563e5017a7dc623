# Windows resources of the product: icons drawn from SVG sources in packaging/windows/icons,
# turned into .ico files at build time (rsvg-convert and icotool, from Debian's librsvg2-bin
# and icoutils), and version information from the project's one version.
set(TRANSMITTER_WINDOWS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)

# Adds a build step that makes OUTPUT_ICO from SVG.
function(transmitter_icon svg output_ico)
    add_custom_command(OUTPUT ${output_ico}
        COMMAND ${TRANSMITTER_WINDOWS_PACKAGING}/make-icon ${svg} ${output_ico}
        DEPENDS ${svg} ${TRANSMITTER_WINDOWS_PACKAGING}/make-icon
        COMMENT "Drawing ${output_ico}")
endfunction()

# Writes the version resource of FILE_NAME (an application or a DLL) into OUTPUT_RC.
function(transmitter_version_resource output_rc FILE_NAME FILE_TYPE FILE_DESCRIPTION)
    configure_file(${TRANSMITTER_WINDOWS_PACKAGING}/version.rc.in ${output_rc} @ONLY)
endfunction()
