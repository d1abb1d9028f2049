# Copies SOURCE to DEST unless DEST already exists.
if(NOT EXISTS "${DEST}")
    configure_file("${SOURCE}" "${DEST}" COPYONLY)
endif()
