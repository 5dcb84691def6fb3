# A named pipe beside the script, with nobody writing into it.
execute_process(COMMAND mkfifo "${WORKDIR}/pipe.wav" RESULT_VARIABLE made)
if(NOT made EQUAL 0)
    message(FATAL_ERROR "cannot make a named pipe in ${WORKDIR}")
endif()
