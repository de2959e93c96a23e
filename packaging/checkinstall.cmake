# cmake -DBUILD_DIR=... -DPREFIX=... -DBINDIR=bin -DDATADIR=share -P checkinstall.cmake
# Installs the build into PREFIX and fails unless every file lands where a desktop looks for
# it and the installed tool runs.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path ${BINDIR}/lathrine ${BINDIR}/mtls ${DATADIR}/applications/lathrine.desktop
        ${DATADIR}/icons/hicolor/256x256/apps/lathrine.png
        ${DATADIR}/mime/packages/lathrine-mtls.xml)
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
foreach(program lathrine mtls)
    execute_process(COMMAND test -x ${PREFIX}/${BINDIR}/${program} RESULT_VARIABLE executable)
    if(NOT executable EQUAL 0)
        message(FATAL_ERROR "not executable: ${BINDIR}/${program}")
    endif()
endforeach()
execute_process(COMMAND ${PREFIX}/${BINDIR}/mtls --help RESULT_VARIABLE result
    OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "^Usage: mtls")
    message(FATAL_ERROR "the installed mtls does not run: ${result}")
endif()
file(STRINGS ${PREFIX}/${DATADIR}/applications/lathrine.desktop entry)
foreach(line "Exec=lathrine %f" "Icon=lathrine" "MimeType=application/x-mtls;")
    list(FIND entry "${line}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "lathrine.desktop lacks the line ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed layout complete")
