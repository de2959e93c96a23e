# cmake -DLATHRINE=... -DBENCH=... -DSCREENSHOT=... -DWALKTHROUGH=... -DVERSION=... -DSCRATCH=...
#   -P programs.cmake
# Runs the built programs as a user runs them: what needs no window runs without a display,
# a clean start says nothing on stderr, and the picture tools draw the same files twice.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/run)
file(CHMOD ${SCRATCH}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(headless env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)

function(expect arguments status out err)
    execute_process(COMMAND ${headless} ${LATHRINE} ${arguments} RESULT_VARIABLE result
        OUTPUT_VARIABLE output ERROR_VARIABLE error)
    if(NOT "${result}|${output}|${error}" STREQUAL "${status}|${out}|${err}")
        message(FATAL_ERROR "lathrine ${arguments}: exit ${result}, out \"${output}\", "
            "err \"${error}\"; expected exit ${status}, out \"${out}\", err \"${err}\"")
    endif()
endfunction()
set(usage "Usage: lathrine [FILE]\n")
expect(--help 0 "${usage}FILE: a material library (.mtls) to open, or a model (.mdl) to build a new library from.\n" "")
expect(--version 0 "lathrine ${VERSION}\n" "")
expect(--fast 2 "" "lathrine: unknown option --fast\n${usage}")
expect("demo.mtls;-x" 2 "" "lathrine: unknown option -x\n${usage}")
expect(-platform 2 "" "lathrine: unknown option -platform\n${usage}") # with no name after it

execute_process(COMMAND ${headless} ${BENCH} files ${SCRATCH}/batch 2 1 RESULT_VARIABLE result
    ERROR_VARIABLE error)
foreach(file libs/lib0000.mtls libs/lib0001.mtls models/model000.mdl)
    if(NOT result EQUAL 0 OR NOT EXISTS ${SCRATCH}/batch/${file})
        message(FATAL_ERROR "lathrine_bench files without a display: exit ${result}, "
            "no ${file}: ${error}")
    endif()
endforeach()

# Started in a virtual display with a library to open (which it then remembers among the
# recent files), its window system also named as the last two arguments, and ended after three
# seconds by timeout (status 124). Not under the sanitizers: the X11 keyboard library the
# platform plugin loads reads past a buffer of its own, and the sanitizer says so on stderr.
if(NOT SANITIZE)
execute_process(COMMAND xvfb-run -a env XDG_RUNTIME_DIR=${SCRATCH}/run QT_QPA_PLATFORM=xcb
    XDG_CONFIG_HOME=${SCRATCH}/config XDG_DATA_HOME=${SCRATCH}/data
    timeout 3 ${LATHRINE} batch/libs/lib0000.mtls -platform xcb WORKING_DIRECTORY ${SCRATCH}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
file(GLOB_RECURSE settings ${SCRATCH}/config/*)
set(remembered "")
foreach(file ${settings})
    file(READ ${file} text)
    string(APPEND remembered "${text}")
endforeach()
if(NOT result EQUAL 124 OR NOT "${output}${error}" STREQUAL "" OR
        NOT remembered MATCHES "batch/libs/lib0000.mtls")
    message(FATAL_ERROR "a start with a library: exit ${result}, said \"${output}${error}\", "
        "remembered \"${remembered}\"")
endif()
endif()

foreach(run 1 2)
    execute_process(COMMAND ${SCREENSHOT} ${SCRATCH}/pictures${run} RESULT_VARIABLE shot
        OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${WALKTHROUGH} ${SCRATCH}/pictures${run}/walkthrough
        RESULT_VARIABLE tour OUTPUT_QUIET ERROR_QUIET)
    if(NOT shot EQUAL 0 OR NOT tour EQUAL 0)
        message(FATAL_ERROR "the picture tools failed: ${shot} ${tour}")
    endif()
endforeach()
file(GLOB_RECURSE pictures RELATIVE ${SCRATCH}/pictures1 ${SCRATCH}/pictures1/*.png)
list(LENGTH pictures count)
if(NOT count EQUAL 10)
    message(FATAL_ERROR "the picture tools drew ${count} pictures, not 10: ${pictures}")
endif()
foreach(picture ${pictures})
    file(SHA256 ${SCRATCH}/pictures1/${picture} first)
    file(SHA256 ${SCRATCH}/pictures2/${picture} second)
    if(NOT first STREQUAL second)
        message(FATAL_ERROR "two runs drew different ${picture}")
    endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
