cmake_minimum_required(VERSION 3.25)

# cmake -DKIND=pe|elf -DTOOL=<objdump|nm> -DLIBRARY=<Tonvald.nbp> -P CheckLibrary.cmake
#
# pe:  the DLL exports exactly the eight entry points by their plain names
#      (no @n decoration) and imports from system DLLs only.
# elf: the shared object defines exactly the eight entry points as dynamic
#      symbols.
set(entry_points
    nbAbout nbEditAction nbExecAction nbInitPlugIn nbMessage nbRegisterInterfaceAccess
    nbRegisterPlugIn nbRegisterScriptProcessor)
# DLLs every Windows installation has.
set(system_dlls
    ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL HHCTRL.OCX KERNEL32.DLL MSACM32.DLL
    MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL USER32.DLL VERSION.DLL WINMM.DLL)

if(NOT EXISTS "${LIBRARY}")
    message(FATAL_ERROR "no library at ${LIBRARY}")
endif()

set(failures "")
if(KIND STREQUAL "pe")
    execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}")
    endif()
    string(REPLACE "\n" ";" lines "${dump}")

    # Export names: the lines "[   n] name" after the Name Pointer table header.
    set(exports "")
    set(in_names FALSE)
    foreach(line IN LISTS lines)
        if(line MATCHES "\\[Ordinal/Name Pointer\\] Table|\\[Name Pointer/Ordinal\\] Table")
            set(in_names TRUE)
        elseif(in_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ \t]+)$")
            list(APPEND exports "${CMAKE_MATCH_1}")
        elseif(in_names AND NOT line MATCHES "^[ \t]*\\[")
            if(exports)
                set(in_names FALSE)
            endif()
        endif()
    endforeach()

    set(imports "")
    foreach(line IN LISTS lines)
        if(line MATCHES "DLL Name: (.+)$")
            string(STRIP "${CMAKE_MATCH_1}" dll)
            string(TOUPPER "${dll}" dll)
            list(APPEND imports "${dll}")
            if(NOT dll IN_LIST system_dlls)
                string(APPEND failures "imports a non-system DLL: ${dll}\n")
            endif()
        endif()
    endforeach()
    if(NOT imports)
        string(APPEND failures "no import found in the objdump output\n")
    endif()
elseif(KIND STREQUAL "elf")
    execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE dump
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}")
    endif()
    string(REPLACE "\n" ";" lines "${dump}")
    set(exports "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
            list(APPEND exports "${CMAKE_MATCH_1}")
        endif()
    endforeach()
else()
    message(FATAL_ERROR "KIND must be pe or elf")
endif()

list(SORT exports)
set(expected ${entry_points})
list(SORT expected)
if(NOT exports STREQUAL expected)
    string(APPEND failures "exports are [${exports}], expected [${expected}]\n")
endif()

if(failures)
    message(FATAL_ERROR "${LIBRARY}:\n${failures}")
endif()
message(STATUS "${LIBRARY}: exports ${exports}; imports ${imports}")
