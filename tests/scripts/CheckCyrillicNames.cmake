# The files the script wrote carry their names as the file system spells them.
file(GLOB written RELATIVE "${WORKDIR}" "${WORKDIR}/*.wav")
list(SORT written)
if(NOT written STREQUAL "Звук.wav;Обратно.wav")
    string(APPEND failed "files written: ${written}\n")
endif()
