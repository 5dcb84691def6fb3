cmake_minimum_required(VERSION 3.25)

# cmake -DHELP=<Tonvald.chm> -DCATALOGUE=<tests/scripts/catalogue.out>
#       -DEXTRACT=<extract_chmLib> -DWORK=<scratch folder> -P CheckHelp.cmake
#
# Opens the compiled help file with an independent CHM reader and checks its
# start page against the catalogue the library registers (the transcript of
# nbhost --list, which the host-script test "catalogue" holds the library to):
#   - index.html holds exactly the anchors the plug-in opens: one per action
#     name, "about" and "thirdparty", and no other;
#   - every action is linked from the page, and its section lists as many
#     parameters as the action has.
# Nothing here runs a Windows program.

# The catalogue: "ID  name  (codes)  hint" for each action row.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(READ "${CATALOGUE}" listing)
string(REGEX MATCHALL "\n *[1-9][0-9]*  [A-Za-z]+ +\\([0-9,]*\\)" rows "${listing}")
set(actions "")
foreach(row IN LISTS rows)
    string(REGEX MATCH "([A-Za-z]+) +\\(([0-9,]*)\\)" _ "${row}")
    set(name "${CMAKE_MATCH_1}")
    string(REGEX MATCHALL "[0-9]+" codes "${CMAKE_MATCH_2}")
    list(LENGTH codes count)
    list(APPEND actions "${name}")
    set(params_${name} ${count})
endforeach()
list(LENGTH actions action_count)
if(action_count EQUAL 0)
    message(FATAL_ERROR "no action in the catalogue ${CATALOGUE}:\n${listing}")
endif()

execute_process(COMMAND ${EXTRACT} ${HELP} ${WORK}/chm OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK}/chm/index.html")
    message(FATAL_ERROR "${EXTRACT} found no index.html in ${HELP}")
endif()
file(READ "${WORK}/chm/index.html" page)

set(failures "")
string(REGEX MATCHALL "(id|name)=\"[^\"]*\"" attributes "${page}")
set(anchors "")
foreach(attribute IN LISTS attributes)
    string(REGEX REPLACE "^(id|name)=\"([^\"]*)\"$" "\\2" anchor "${attribute}")
    if(anchor IN_LIST anchors)
        string(APPEND failures "anchor \"${anchor}\" appears twice\n")
    endif()
    list(APPEND anchors "${anchor}")
endforeach()
set(expected ${actions} about thirdparty)
foreach(anchor IN LISTS expected)
    if(NOT anchor IN_LIST anchors)
        string(APPEND failures "index.html has no anchor \"${anchor}\"\n")
    endif()
endforeach()
foreach(anchor IN LISTS anchors)
    if(NOT anchor IN_LIST expected)
        string(APPEND failures "index.html has an anchor \"${anchor}\" the plug-in never opens\n")
    endif()
endforeach()

# The overview at the top links every action; an action's section runs from
# its anchor to the next heading, and its parameters are the items of its
# <ol class="params">.
foreach(name IN LISTS actions)
    string(FIND "${page}" "href=\"#${name}\"" link)
    if(link LESS 0)
        string(APPEND failures "index.html never links to \"${name}\"\n")
    endif()
    string(FIND "${page}" "id=\"${name}\"" start)
    if(start LESS 0)
        continue()
    endif()
    string(SUBSTRING "${page}" ${start} -1 section)
    string(FIND "${section}" "<h" next)
    if(next GREATER 0)
        string(SUBSTRING "${section}" 0 ${next} section)
    endif()
    set(documented 0)
    string(FIND "${section}" "<ol class=\"params\">" list_start)
    if(list_start GREATER_EQUAL 0)
        string(SUBSTRING "${section}" ${list_start} -1 params)
        string(FIND "${params}" "</ol>" list_end)
        string(SUBSTRING "${params}" 0 ${list_end} params)
        string(REGEX MATCHALL "<li>" items "${params}")
        list(LENGTH items documented)
    endif()
    if(NOT documented EQUAL params_${name})
        string(APPEND failures
               "${name}: ${documented} parameters described, the catalogue has ${params_${name}}\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "${HELP}:\n${failures}")
endif()
list(LENGTH anchors anchor_count)
message(STATUS "${HELP}: ${anchor_count} anchors for ${action_count} actions, about and thirdparty")
