# kn_folder_library(<name> [ONE_LIBRARY] LOGIC_DEPS ... WINDOW_DEPS ...)
# Globs the folder: frm*.cpp/.h become <name>_windows (Widgets), the rest <name> (no widgets
# of its own). ONE_LIBRARY keeps everything in <name>.
function(kn_folder_library name)
    cmake_parse_arguments(ARG "ONE_LIBRARY" "" "LOGIC_DEPS;WINDOW_DEPS" ${ARGN})
    file(GLOB all_sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    set(logic "")
    set(windows "")
    foreach(f IN LISTS all_sources)
        get_filename_component(base ${f} NAME)
        if(base STREQUAL "main.cpp")
            continue()
        elseif(base MATCHES "^frm" AND NOT ARG_ONE_LIBRARY)
            list(APPEND windows ${f})
        else()
            list(APPEND logic ${f})
        endif()
    endforeach()
    set(logic_sources ${logic})
    list(FILTER logic_sources INCLUDE REGEX "\\.cpp$")
    if(NOT logic_sources)
        # A folder that has only headers so far.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE Qt6::Core Qt6::Network ${ARG_LOGIC_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${logic})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Network ${ARG_LOGIC_DEPS})
    target_compile_options(${name} PRIVATE -Wall -Wextra)
    if(windows)
        add_library(${name}_windows STATIC ${windows})
        target_link_libraries(${name}_windows PUBLIC ${name} Qt6::Widgets ${ARG_WINDOW_DEPS})
        target_compile_options(${name}_windows PRIVATE -Wall -Wextra)
    endif()
endfunction()

# Whether the tests will run as root: they then have network namespaces of their own.
execute_process(COMMAND id -u OUTPUT_VARIABLE kn_uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(kn_uid STREQUAL "0")
    set(KN_AS_ROOT TRUE)
endif()

# kn_add_test(<source.cpp> [LABELS l] [TIMEOUT s] [FUNCTIONS f...]): one Qt Test program per
# unit; FUNCTIONS runs only those of its test functions.
function(kn_add_test src)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS;FUNCTIONS" ${ARGN})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    # tst_<folder>_*.cpp tests one folder's logic; the rest run the whole station with the
    # test support.
    if(name MATCHES "^tst_(platform|db|protocol|editor|diag)_")
        target_link_libraries(${name} PRIVATE kn_station kn_test_fakes Qt6::Test)
    else()
        target_link_libraries(${name} PRIVATE kn_station kn_test_fakes kn_testsupport Qt6::Test)
    endif()
    if(name MATCHES "^tst_(platform|db|protocol|editor|diag)_" OR ARG_LABELS STREQUAL "netns")
        add_test(NAME ${name} COMMAND ${name} ${ARG_FUNCTIONS})
    else()
        # These run the station on its fixed ports: in a network of their own as root, else
        # they take turns under `ctest -j`.
        add_test(NAME ${name}
            COMMAND ${PROJECT_SOURCE_DIR}/tests/support/own-network.sh $<TARGET_FILE:${name}>
                ${ARG_FUNCTIONS})
        if(NOT KN_AS_ROOT)
            set_tests_properties(${name} PROPERTIES RESOURCE_LOCK kn_station_ports)
        endif()
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    # A program that skipped something and failed nothing shows as skipped, not as passed.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTRUNE_BUILD_DIR=${PROJECT_BINARY_DIR}"
        SKIP_REGULAR_EXPRESSION "Totals: [0-9]+ passed, 0 failed, [1-9][0-9]* skipped"
        TIMEOUT ${ARG_TIMEOUT})
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
