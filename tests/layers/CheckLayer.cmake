# Runs the layer check on one folder as the windows layer (a Qt layer) or the edit layer (Qt-free):
#   cmake -DFOLDER=DIR -DLAYER=windows|edit -P CheckLayer.cmake
cmake_minimum_required(VERSION 3.21)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/Layers.cmake)
if(LAYER STREQUAL "windows")
    quellmarin_check_folder("${FOLDER}" windows QT MAY_INCLUDE windows server remote graph widgets session panel edit sim link protocol model dsp)
else()
    quellmarin_check_folder("${FOLDER}" edit MAY_INCLUDE edit link protocol model dsp)
endif()
message(STATUS "layer check passed: ${FOLDER}")
