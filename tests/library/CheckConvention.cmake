cmake_minimum_required(VERSION 3.25)

# cmake -DOBJDUMP=<i686 objdump> -DLIBRARY=<Tonvald.nbp> -P CheckConvention.cmake
#
# Reads the machine code of the Windows library's entry points and checks how
# many bytes of arguments each one pops when it returns, which is what the
# host's calling convention (Delphi's "register") fixes: the first three
# arguments travel in registers and the callee pops the rest. So
# nbInitPlugIn and nbRegisterPlugIn (four arguments) end with "ret $0x4", the
# others (at most three) with a plain "ret". A library built for the C or the
# stdcall convention fails here whatever our own host and tests assume.
#
# Each entry point is found through the export table (not through symbol
# names), disassembled up to the next symbol, and so are the parts it jumps
# to outside that range (its cold part, a tail call); every return found
# there must pop the expected number of bytes.
set(expected_pops
    nbInitPlugIn 4 nbRegisterPlugIn 4 nbRegisterScriptProcessor 0 nbRegisterInterfaceAccess 0
    nbExecAction 0 nbEditAction 0 nbMessage 0 nbAbout 0)

if(NOT EXISTS "${LIBRARY}")
    message(FATAL_ERROR "no library at ${LIBRARY}")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()
if(NOT headers MATCHES "\nImageBase[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "no ImageBase in the headers of ${LIBRARY}")
endif()
math(EXPR image_base "0x${CMAKE_MATCH_1}")

# Export Address Table rows "[ i] +base[ o] RVA Export RVA", then the names
# "[ i] name" of the Ordinal/Name Pointer table, i being the row.
string(REPLACE "\n" ";" lines "${headers}")
set(in_names FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*\\[ *([0-9]+)\\] \\+base\\[ *[0-9]+\\] +([0-9a-fA-F]+) Export RVA")
        set(rva_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    elseif(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
        set(in_names TRUE)
    elseif(in_names AND line MATCHES "^[ \t]*\\[ *([0-9]+)\\] ([^ \t]+)$")
        set(row_of_${CMAKE_MATCH_2} ${CMAKE_MATCH_1})
    endif()
endforeach()

# The instructions from `address` up to the next symbol the disassembler
# names: "ret"/"ret $0xN" rows go to the list `pops`, the addresses of jumps
# that leave the range (to a part of the function placed elsewhere, or a tail
# call) to the list `exits`.
function(disassemble address pops_var exits_var)
    math(EXPR stop "${address} + 0x4000" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR start "${address}" OUTPUT_FORMAT HEXADECIMAL)
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn --start-address=${start}
                            --stop-address=${stop} ${LIBRARY}
                    OUTPUT_VARIABLE code RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -d failed at ${start}")
    endif()
    string(REPLACE "\n" ";" rows "${code}")
    set(pops "")
    set(exits "")
    set(labels 0)
    set(end "")
    foreach(row IN LISTS rows)
        if(row MATCHES "^([0-9a-f]+) <[^>]*>:$")
            math(EXPR labels "${labels} + 1")
            if(labels GREATER 1)
                math(EXPR end "0x${CMAKE_MATCH_1}")
                break()
            endif()
        elseif(row MATCHES "\tret +\\$0x([0-9a-f]+)")
            math(EXPR n "0x${CMAKE_MATCH_1}")
            list(APPEND pops ${n})
        elseif(row MATCHES "\tret *$")
            list(APPEND pops 0)
        elseif(row MATCHES "\tjmp +([0-9a-f]+) <")
            list(APPEND exits "0x${CMAKE_MATCH_1}")
        endif()
    endforeach()
    if(labels EQUAL 0)
        message(FATAL_ERROR "${LIBRARY} has no symbols: the check reads the unstripped library")
    endif()
    if(end STREQUAL "")
        message(FATAL_ERROR "no end found for the code at ${start} (is ${LIBRARY} stripped?)")
    endif()
    # Jumps inside the range are the function's own branches.
    set(outside "")
    foreach(target IN LISTS exits)
        math(EXPR t "${target}")
        if(t LESS address OR t GREATER_EQUAL end)
            list(APPEND outside ${t})
        endif()
    endforeach()
    set(${pops_var} "${pops}" PARENT_SCOPE)
    set(${exits_var} "${outside}" PARENT_SCOPE)
endfunction()

set(failures "")
set(report "")
list(LENGTH expected_pops pair_count)
math(EXPR last "${pair_count} - 1")
foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET expected_pops ${i} name)
    list(GET expected_pops ${j} expected)
    if(NOT DEFINED row_of_${name} OR NOT DEFINED rva_${row_of_${name}})
        string(APPEND failures "${name} is not exported\n")
        continue()
    endif()
    math(EXPR entry "${image_base} + 0x${rva_${row_of_${name}}}")
    set(queue ${entry})
    set(seen "")
    set(all_pops "")
    while(queue)
        list(POP_FRONT queue address)
        if(address IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${address})
        list(LENGTH seen parts)
        if(parts GREATER 8)
            string(APPEND failures "${name}: its code runs through more than 8 parts\n")
            break()
        endif()
        disassemble(${address} pops exits)
        list(APPEND all_pops ${pops})
        list(APPEND queue ${exits})
    endwhile()
    list(LENGTH all_pops returns)
    if(returns EQUAL 0)
        string(APPEND failures "${name}: no return found in its code\n")
    endif()
    foreach(n IN LISTS all_pops)
        if(NOT n EQUAL expected)
            string(APPEND failures
                   "${name}: returns popping ${n} bytes of arguments, the host expects ${expected}\n")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES all_pops)
    string(APPEND report " ${name}=${all_pops}")
endforeach()

if(failures)
    message(FATAL_ERROR "${LIBRARY}:\n${failures}")
endif()
message(STATUS "${LIBRARY}: bytes popped on return:${report}")
