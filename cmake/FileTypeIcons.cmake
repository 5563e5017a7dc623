# The drawings of the script types, one SVG per icon index of file-types.xml: the plain types
# first, then their enciphered twins in the same order. Windows packs them into
# qvtrxResources.dll; Linux copies the one a type names into the icon theme on --install.
set(TRANSMITTER_FILE_TYPES ${PROJECT_SOURCE_DIR}/packaging/file-types)

# Each type: name, short label, colour of its band.
set(transmitter_script_types
    qvtrx QV "#3465a4"
    qvtrx-preset PRE "#4e9a06"
    qvtrx-inputs IN "#ce5c00"
    qvtrx-Outputs OUT "#8f5902"
    qvtrx-stereogenerator STG "#75507b"
    qvtrx-RDS RDS "#a40000"
    qvtrx-Process PRC "#204a87"
    qvtrx-Group GRP "#5c3566"
    qvtrx-IP IP "#2e3436")

# Writes folder/file-type-<index>.svg for every icon index; out_list receives the files in
# index order.
function(transmitter_file_type_svgs folder out_list)
    set(files)
    foreach(enciphered IN ITEMS 0 1)
        set(rest ${transmitter_script_types})
        while(rest)
            list(POP_FRONT rest type LABEL COLOUR)
            string(LENGTH "${LABEL}" label_length)
            if(label_length GREATER 2)
                set(SIZE 10)
            else()
                set(SIZE 12)
            endif()
            if(enciphered)
                set(SHEET "#888a85")
                set(LOCK visible)
            else()
                set(SHEET "#ffffff")
                set(LOCK hidden)
            endif()
            list(LENGTH files index)
            set(svg ${folder}/file-type-${index}.svg)
            configure_file(${TRANSMITTER_FILE_TYPES}/file-type.svg.in ${svg} @ONLY)
            list(APPEND files ${svg})
        endwhile()
    endforeach()
    set(${out_list} ${files} PARENT_SCOPE)
endfunction()
