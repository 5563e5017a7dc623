# The original TinyXML (not TinyXML-2). Debian ships it as libtinyxml-dev
# without a CMake package, so find it by hand.
find_path(TINYXML_INCLUDE_DIR tinyxml.h)
if(TINYXML_PREFER_STATIC)
    find_library(TINYXML_LIBRARY NAMES libtinyxml.a tinyxml)
else()
    find_library(TINYXML_LIBRARY NAMES tinyxml)
endif()
if(NOT TINYXML_INCLUDE_DIR OR NOT TINYXML_LIBRARY)
    message(FATAL_ERROR "TinyXML not found (install libtinyxml-dev)")
endif()
add_library(TinyXML::TinyXML UNKNOWN IMPORTED)
set_target_properties(TinyXML::TinyXML PROPERTIES
    IMPORTED_LOCATION "${TINYXML_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${TINYXML_INCLUDE_DIR}"
    # Debian builds its libtinyxml with STL strings enabled.
    INTERFACE_COMPILE_DEFINITIONS "TIXML_USE_STL")
