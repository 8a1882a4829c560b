# The program's version: the project() version, refined by `git describe` in a checkout.
#   tag v0.1.0 on HEAD       -> 0.1.0
#   5 commits after v0.1.0   -> 0.1.0+5.gabc1234
#   no tag v0.1.0 yet        -> 0.1.0~64.gabc1234  (commit count; sorts before the release)
#   uncommitted changes      -> ".dirty" appended ("+dirty" on the tag itself)
# The forms sort in Debian's version order, so a package built from any commit upgrades an
# older one. Outside a checkout (a source archive) it is the project() version alone.
#
# Included, it defines clipferry_describe_version(); run with `cmake -P`, it writes the
# header named by OUTPUT from SOURCE_DIR and BASE at every build, touching it only when the
# text changes.

function(clipferry_describe_version source_dir base out_version out_date)
    set(version "${base}")
    string(TIMESTAMP date "%Y-%m-%d" UTC)
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(
            COMMAND "${GIT_EXECUTABLE}" describe --tags --match "v${base}" --long --always
                    --dirty=.dirty
            WORKING_DIRECTORY "${source_dir}"
            OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE failed ERROR_QUIET)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-list --count HEAD
            WORKING_DIRECTORY "${source_dir}"
            OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        # The commit's own date keeps two builds of one commit identical.
        execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%cs
            WORKING_DIRECTORY "${source_dir}"
            OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    string(REPLACE "." "\\." base_pattern "${base}")
    if(NOT GIT_FOUND OR failed OR described STREQUAL "")
        # Not a checkout: the project() version stands.
    elseif(described MATCHES "^v${base_pattern}-0-g[0-9a-f]+(\\.dirty)?$")
        if(CMAKE_MATCH_1)
            set(version "${base}+dirty")
        endif()
        set(date "${commit_date}")
    elseif(described MATCHES "^v${base_pattern}-([0-9]+)-(g[0-9a-f]+(\\.dirty)?)$")
        set(version "${base}+${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
        set(date "${commit_date}")
    elseif(count MATCHES "^[0-9]+$" AND described MATCHES "^([0-9a-f]+(\\.dirty)?)$")
        set(version "${base}~${count}.g${CMAKE_MATCH_1}")
        set(date "${commit_date}")
    endif()
    set(${out_version} "${version}" PARENT_SCOPE)
    set(${out_date} "${date}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    clipferry_describe_version("${SOURCE_DIR}" "${BASE}" version date)
    file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT [[
#pragma once

// Written at every build by cmake/Version.cmake.
namespace clipferry::build {
inline constexpr const char* version = "@version@";
} // namespace clipferry::build
]] @ONLY)
endif()
