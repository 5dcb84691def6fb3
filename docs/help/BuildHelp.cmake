cmake_minimum_required(VERSION 3.25)

# cmake -DSOURCE=<docs/help> -DWORK=<scratch folder> -DOUTPUT=<Tonvald.chm>
#       -DPAGES=<index.html|rules.html|...> -DTITLE=<window title>
#       -DCHMCMD=<chmcmd> -DICONV=<iconv> -P BuildHelp.cmake
#
# Compiles the help pages into one CHM file. The pages are written in UTF-8;
# the help viewer shows the contents and the index in the file's code page, so
# everything is turned into Windows-1251 first (a character that code page
# lacks stops the build). The contents (toc.hhc) and the keyword index
# (index.hhk) are made from the pages' headings, so that they list exactly
# what the pages hold:
#   - every page is a book, titled with its <title>;
#   - an <h2 class="group"> of a page is a book of its own, holding the <h3 id=...>
#     headings that follow it (the actions of a group);
#   - any other heading with an id is an entry of its page's book;
#   - every <h3 id=...> is also a keyword of the index.

foreach(var SOURCE WORK OUTPUT PAGES TITLE CHMCMD ICONV)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "BuildHelp.cmake needs -D${var}=...")
    endif()
endforeach()
string(REPLACE "|" ";" PAGES "${PAGES}")

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/utf8")

# A sitemap entry; `local` may be empty for a book without a page.
function(sitemap_entry out name local)
    set(entry "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"${name}\">")
    if(local)
        string(APPEND entry "<param name=\"Local\" value=\"${local}\">")
    endif()
    string(APPEND entry "</OBJECT>\n")
    set(${out} "${entry}" PARENT_SCOPE)
endfunction()

set(toc "")
set(keywords "")
foreach(page IN LISTS PAGES)
    file(READ "${SOURCE}/${page}" html)
    if(NOT html MATCHES "charset=utf-8")
        message(FATAL_ERROR "${page}: no charset=utf-8 declaration to rewrite")
    endif()
    string(REPLACE "charset=utf-8" "charset=windows-1251" html "${html}")
    file(WRITE "${WORK}/utf8/${page}" "${html}")

    if(NOT html MATCHES "<title>([^<]+)</title>")
        message(FATAL_ERROR "${page}: no <title>")
    endif()
    sitemap_entry(entry "${CMAKE_MATCH_1}" "${page}")
    string(APPEND toc "${entry}<UL>\n")

    set(in_group FALSE)
    string(REGEX MATCHALL "<h[23][^>]*>[^<]*</h[23]>" headings "${html}")
    foreach(heading IN LISTS headings)
        string(REGEX MATCH "^<h([23])([^>]*)>([^<]*)</h[23]>$" _ "${heading}")
        set(level "${CMAKE_MATCH_1}")
        set(attributes "${CMAKE_MATCH_2}")
        set(text "${CMAKE_MATCH_3}")
        set(id "")
        if(attributes MATCHES "id=\"([^\"]+)\"")
            set(id "${CMAKE_MATCH_1}")
        endif()
        if(level STREQUAL "2" AND attributes MATCHES "class=\"group\"")
            if(in_group)
                string(APPEND toc "</UL>\n")
            endif()
            # A book without a page of its own: it only holds its entries.
            sitemap_entry(entry "${text}" "")
            string(APPEND toc "${entry}<UL>\n")
            set(in_group TRUE)
        elseif(id)
            if(level STREQUAL "2" AND in_group)
                string(APPEND toc "</UL>\n")
                set(in_group FALSE)
            endif()
            sitemap_entry(entry "${text}" "${page}#${id}")
            string(APPEND toc "${entry}")
            if(level STREQUAL "3")
                string(APPEND keywords "${entry}")
            endif()
        endif()
    endforeach()
    if(in_group)
        string(APPEND toc "</UL>\n")
    endif()
    string(APPEND toc "</UL>\n")
endforeach()

set(sitemap_head "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n</HEAD>\n<BODY>\n<OBJECT type=\"text/site properties\"><param name=\"Window Styles\" value=\"0x800025\"></OBJECT>\n")
file(WRITE "${WORK}/utf8/toc.hhc" "${sitemap_head}<UL>\n${toc}</UL>\n</BODY>\n</HTML>\n")
file(WRITE "${WORK}/utf8/index.hhk" "${sitemap_head}<UL>\n${keywords}</UL>\n</BODY>\n</HTML>\n")

list(GET PAGES 0 start_page)
string(REPLACE ";" "\n" file_list "${PAGES}")
file(WRITE "${WORK}/utf8/help.hhp" "[OPTIONS]
Compatibility=1.1 or later
Compiled file=help.chm
Contents file=toc.hhc
Index file=index.hhk
Default topic=${start_page}
Display compile progress=No
Full-text search=Yes
Language=0x419 Russian
Title=${TITLE}

[FILES]
${file_list}
style.css
")

foreach(file IN LISTS PAGES ITEMS toc.hhc index.hhk help.hhp)
    execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP1251 "${WORK}/utf8/${file}"
                    OUTPUT_FILE "${WORK}/${file}" RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${file}: not representable in Windows-1251: ${err}")
    endif()
endforeach()
file(COPY "${SOURCE}/style.css" DESTINATION "${WORK}")

execute_process(COMMAND "${CHMCMD}" --verbosity 0 help.hhp WORKING_DIRECTORY "${WORK}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK}/help.chm")
    message(FATAL_ERROR "chmcmd failed:\n${out}")
endif()
# chmcmd reports the pages and anchors that links name but it cannot find
# ("Warning: ...", "Error: ..."): a broken link stops the build.
if(out MATCHES "(^|\n)(Warning|Error):")
    message(FATAL_ERROR "chmcmd:\n${out}")
endif()
file(COPY_FILE "${WORK}/help.chm" "${OUTPUT}" ONLY_IF_DIFFERENT)
