# fp_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [QT] [WRAPPER program args ...])
# One QtTest executable per test, run by CTest offscreen with a home, config, data, state and
# runtime folder of its own, so that no test touches the user's settings or another test's.
# WRAPPER runs it through another program (a private D-Bus session, say).
function(fp_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;WRAPPER" ${ARGN})
    qt_add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    add_dependencies(${T_NAME} res)
    add_test(NAME ${T_NAME} COMMAND ${T_WRAPPER} $<TARGET_FILE:${T_NAME}>)
    set(home ${CMAKE_BINARY_DIR}/testhome/${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache;XDG_STATE_HOME=${home}/state;XDG_RUNTIME_DIR=${home}/run;TMPDIR=${home}/tmp;LANG=C.UTF-8")
    file(MAKE_DIRECTORY ${home}/config ${home}/data ${home}/cache ${home}/state ${home}/run ${home}/tmp)
    file(CHMOD ${home}/run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()
