cmake_minimum_required(VERSION 3.25)

# cmake -DINSTALLER=<duVoza-setup.exe> -DSTAGE=<folder of the packed files>
#       -DNBHOST=<nbhost.exe> -DCATALOGUE=<tests/scripts/catalogue.out>
#       -DEMULATOR=<a|b> -DPREFIX=<Wine prefix> -P InstallTest.cmake
#
# The installer as an author's machine sees it, under Wine: a silent install
# into a folder with a Cyrillic name, the files and the "HelpFile" value it
# leaves, the installed library loaded by nbhost, an update that finds the
# remembered folder, a second copy elsewhere, and the silent uninstallers,
# which must take away exactly what was installed.

string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
# Every program runs in the build's prefix, wherever the program lies.
if(DEFINED ENV{TONVALD_WINEPREFIX})
    set(PREFIX "$ENV{TONVALD_WINEPREFIX}")
endif()
set(ENV{TONVALD_WINEPREFIX} "${PREFIX}")

set(help_key "HKCU\\Software\\Halden Morrow\\Kestrava\\duVoza")
set(uninstall_key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\duVoza")
set(files Tonvald.nbp Tonvald.chm duVoza-uninstall.exe)

# Failures are gathered in `failures`; a function that calls fail() hands the
# list on to its caller.
set(failures "")
function(fail text)
    set(failures "${failures}${text}\n" PARENT_SCOPE)
endfunction()

# Runs a program under Wine; its exit code in run_rc, its output in run_out.
# The output goes through a file, not a pipe: a wineserver that a call starts
# inherits the pipe and would hold the call until the server exits.
function(run)
    set(log "${PREFIX}/drive_c/tonvald-run.log")
    execute_process(COMMAND ${EMULATOR} ${ARGN} OUTPUT_FILE "${log}" ERROR_FILE "${log}.err"
                    RESULT_VARIABLE rc)
    file(READ "${log}" out)
    file(REMOVE "${log}" "${log}.err")
    set(run_rc "${rc}" PARENT_SCOPE)
    set(run_out "${out}" PARENT_SCOPE)
endfunction()

# The data of a string value, in `out`; "<none>" when the key or the value is
# missing. reg export writes UTF-16, which keeps Cyrillic intact.
function(reg_value key value out)
    set(file "${PREFIX}/drive_c/tonvald-reg.reg")
    file(REMOVE "${file}")
    run(reg export "${key}" "C:\\tonvald-reg.reg" /y)
    set(data "<none>")
    if(EXISTS "${file}")
        execute_process(COMMAND iconv -f UTF-16LE -t UTF-8 "${file}" OUTPUT_VARIABLE text)
        string(REPLACE "\r\n" "\n" text "${text}")
        if(text MATCHES "\n\"${value}\"=\"([^\n]*)\"\n")
            string(REPLACE "\\\\" "\\" data "${CMAKE_MATCH_1}")
        endif()
        file(REMOVE "${file}")
    endif()
    set(${out} "${data}" PARENT_SCOPE)
endfunction()

function(expect_value key value expected)
    reg_value("${key}" "${value}" data)
    if(NOT data STREQUAL expected)
        fail("${key}\\${value} is \"${data}\", expected \"${expected}\"")
        set(failures "${failures}" PARENT_SCOPE)
    endif()
endfunction()

# A folder of the prefix's drive C:, as Unix and as Windows path (no blanks:
# /D= takes the rest of the command line, which Wine would quote).
set(root "${PREFIX}/drive_c/tonvald-install-test")
set(first "${root}/Модули/PlugIns")
set(first_win "C:\\tonvald-install-test\\Модули\\PlugIns")
set(second "${root}/Другая/PlugIns")
set(second_win "C:\\tonvald-install-test\\Другая\\PlugIns")
set(default "${PREFIX}/drive_c/Program Files/NeoBook 5/PlugIns")

# A clean slate, with things of others that must survive: a file in the
# plug-in folder, a value beside "HelpFile", another plug-in's key.
file(REMOVE_RECURSE "${root}")
file(MAKE_DIRECTORY "${first}" "${second}")
file(WRITE "${first}/Other.nbp" "another plug-in")
run(reg delete "HKCU\\Software\\Halden Morrow" /f)
run(reg delete "${uninstall_key}" /f)
run(reg add "${help_key}" /v Language /d ru /f)
run(reg add "HKCU\\Software\\Halden Morrow\\Kestrava\\Other" /v HelpFile /d "C:\\other.chm" /f)

function(install)
    run(${INSTALLER} /S ${ARGN})
    if(NOT run_rc EQUAL 0)
        fail("duVoza-setup.exe /S ${ARGN} answered ${run_rc}")
        set(failures "${failures}" PARENT_SCOPE)
    endif()
endfunction()

# The silent uninstaller hands over to a copy of itself and returns at once;
# the copy deletes the uninstaller last, so its absence means it is done.
function(uninstall folder)
    run("${folder}/duVoza-uninstall.exe" /S)
    foreach(i RANGE 120)
        if(NOT EXISTS "${folder}/duVoza-uninstall.exe")
            return()
        endif()
        execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.5)
    endforeach()
    fail("the uninstaller in ${folder} did not finish within a minute")
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

# 1. A fresh installation into the folder given.
install("/D=${first_win}")
foreach(file IN LISTS files)
    if(NOT EXISTS "${first}/${file}")
        fail("${file} was not installed into ${first}")
    endif()
endforeach()
foreach(file Tonvald.nbp Tonvald.chm)
    file(SHA256 "${STAGE}/${file}" packed)
    if(EXISTS "${first}/${file}")
        file(SHA256 "${first}/${file}" installed)
        if(NOT installed STREQUAL packed)
            fail("the installed ${file} differs from the packed one")
        endif()
    endif()
endforeach()
expect_value("${help_key}" HelpFile "${first_win}\\Tonvald.chm")
expect_value("${uninstall_key}" InstallLocation "${first_win}")

# 2. NeoBook's view: the installed library loads and registers its catalogue.
run(${NBHOST} --plugin "${first_win}\\Tonvald.nbp" --list)
file(READ "${CATALOGUE}" expected)
string(REPLACE "\r\n" "\n" run_out "${run_out}")
if(NOT run_rc EQUAL 0 OR NOT run_out STREQUAL expected)
    fail("nbhost --list with the installed library answered ${run_rc}:\n${run_out}")
endif()

# 3. An update without /D= goes where the last installation went.
file(REMOVE "${first}/Tonvald.chm")
install()
if(NOT EXISTS "${first}/Tonvald.chm")
    fail("the update did not find the remembered folder")
endif()
if(EXISTS "${default}/Tonvald.nbp")
    fail("the update went to the default folder")
endif()

# 4. A second copy elsewhere takes over the help path and the uninstall entry;
# uninstalling the first copy then leaves both to the second.
install("/D=${second_win}")
expect_value("${help_key}" HelpFile "${second_win}\\Tonvald.chm")
uninstall("${first}")
foreach(file IN LISTS files)
    if(EXISTS "${first}/${file}")
        fail("uninstalling left ${first}/${file}")
    endif()
endforeach()
expect_value("${help_key}" HelpFile "${second_win}\\Tonvald.chm")
expect_value("${uninstall_key}" InstallLocation "${second_win}")

# 5. Uninstalling the second copy takes the rest, and nothing of others.
uninstall("${second}")
foreach(file IN LISTS files)
    if(EXISTS "${second}/${file}")
        fail("uninstalling left ${second}/${file}")
    endif()
endforeach()
expect_value("${help_key}" HelpFile "<none>")
expect_value("${uninstall_key}" InstallLocation "<none>")
expect_value("${help_key}" Language "ru")
expect_value("HKCU\\Software\\Halden Morrow\\Kestrava\\Other" HelpFile "C:\\other.chm")
if(NOT EXISTS "${first}/Other.nbp" OR NOT IS_DIRECTORY "${second}")
    fail("uninstalling removed what the installer had not put there")
endif()

run(reg delete "HKCU\\Software\\Halden Morrow" /f)
file(REMOVE_RECURSE "${root}")
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
