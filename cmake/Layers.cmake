# Every folder under src/ is one library, a layer. A layer may include its own headers and those of
# the layers named for it, and only the user-interface layers may include Qt. quellmarin_layer_check()
# reads every source and header in a layer's folder and stops the configuration at the first include
# that goes the wrong way. The layers, lowest first:
#   core:  model, dsp, protocol, link, sim, edit, panel, session, remote   (Qt-free)
#   ui:    widgets, graph, server, windows, shell          (Qt)
#   cli:   the command-line tool, over the core
function(quellmarin_check_folder dir name)
    cmake_parse_arguments(ARG "QT" "" "MAY_INCLUDE" ${ARGN})
    if(CMAKE_SCRIPT_MODE_FILE)
        file(GLOB files "${dir}/*.cpp" "${dir}/*.h")
    else()
        # A file added to the folder, or an include changed, configures again.
        file(GLOB files CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
    endif()
    if(NOT files)
        message(FATAL_ERROR "the layer ${name} has no sources in ${dir}")
    endif()
    foreach(f IN LISTS files)
        file(STRINGS "${f}" includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS includes)
            if(NOT ARG_QT AND line MATCHES "#[ \t]*include[ \t]*<Q")
                message(FATAL_ERROR "${f}: the layer ${name} is Qt-free, but includes ${line}")
            endif()
            if(line MATCHES "#[ \t]*include[ \t]*\"([a-z]+)/")
                set(layer "${CMAKE_MATCH_1}")
                if(NOT layer IN_LIST ARG_MAY_INCLUDE)
                    message(FATAL_ERROR
                        "${f}: the layer ${name} may include ${ARG_MAY_INCLUDE}, not ${layer} (${line})")
                endif()
            endif()
        endforeach()
    endforeach()
endfunction()

# A layer's library: its folder's sources, the folder above as the include root.
function(quellmarin_layer_check target)
    get_target_property(dir ${target} QUELLMARIN_LAYER_DIR)
    string(REGEX REPLACE "^quellmarin_" "" name "${target}")
    quellmarin_check_folder("${dir}" ${name} ${ARGN})
endfunction()
