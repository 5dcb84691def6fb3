# One hour of 16-bit stereo at 44,100 Hz: a 44-byte header and 635,040,000
# bytes of silence, made without holding them in memory.
execute_process(
    COMMAND sh -c "printf '%b' 'RIFF\\0044\\0361\\0331\\0045WAVEfmt \\0020\\0000\\0000\\0000\\0001\\0000\\0002\\0000D\\0254\\0000\\0000\\0020\\0261\\0002\\0000\\0004\\0000\\0020\\0000data\\0000\\0361\\0331\\0045' > hour.wav && truncate -s 635040044 hour.wav"
    WORKING_DIRECTORY "${WORKDIR}" RESULT_VARIABLE made)
if(NOT made EQUAL 0)
    message(FATAL_ERROR "cannot make hour.wav in ${WORKDIR}")
endif()
