# What --install publishes to a Linux desktop besides the key tree: the drawing of each script
# type, kept in share/transmitter/icons beside the program's bin folder (in the build tree as
# in the installed tree, so that a registration from either finds them), and the registration
# configuration of the script types.
include(${PROJECT_SOURCE_DIR}/cmake/FileTypeIcons.cmake)
set(transmitter_share ${CMAKE_BINARY_DIR}/share/transmitter)
transmitter_file_type_svgs(${transmitter_share}/icons file_type_drawings)
configure_file(${TRANSMITTER_FILE_TYPES}/file-types.xml ${transmitter_share}/file-types.xml
    COPYONLY)
install(FILES ${file_type_drawings} DESTINATION ${CMAKE_INSTALL_DATADIR}/transmitter/icons)
install(FILES ${transmitter_share}/file-types.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/transmitter)
