# Platform halves of a piece live beside it as Name_win.cpp and Name_posix.cpp; this picks one.
if(WIN32)
    set(VELTRANE_PLATFORM_SUFFIX win)
else()
    set(VELTRANE_PLATFORM_SUFFIX posix)
endif()

# veltrane_platform_sources(<target> <dir> Name...) adds <dir>/Name_<platform>.cpp for each name.
function(veltrane_platform_sources target dir)
    foreach(name IN LISTS ARGN)
        target_sources(${target} PRIVATE ${dir}/${name}_${VELTRANE_PLATFORM_SUFFIX}.cpp)
    endforeach()
endfunction()

# veltrane_add_test(<name> SOURCES ... LIBRARIES ... [SERIAL_PAIR] [FULL_DISK])
# One CTest entry per test binary: under Wine every process start costs a second or more.
# SERIAL_PAIR binaries talk to a pseudo-terminal pair: natively the test starts socat itself;
# under Wine a wrapper starts it and maps both ends into the prefix as COM5 and COM6.
# FULL_DISK (with SERIAL_PAIR, under Wine) adds a filled tmpfs in VELTRANE_FULL_DISK
# (scripts/with-full-disk.sh).
function(veltrane_add_test name)
    cmake_parse_arguments(ARG "SERIAL_PAIR;FULL_DISK" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} veltrane_test_support gtest_main)
    target_compile_options(${name} PRIVATE ${VELTRANE_WARNINGS} -Wno-conversion)
    if(WIN32 AND ARG_SERIAL_PAIR)
        set(command ${PROJECT_SOURCE_DIR}/scripts/with-serial-pair.sh $<TARGET_FILE:${name}>)
        if(ARG_FULL_DISK)
            list(PREPEND command ${PROJECT_SOURCE_DIR}/scripts/with-full-disk.sh)
        endif()
    else()
        set(command ${name})
    endif()
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(ARG_SERIAL_PAIR)
        # Under Wine all such binaries share the COM5/COM6 mapping: one at a time.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK serial_pair)
    endif()
endfunction()
