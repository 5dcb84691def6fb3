# A folder where a script expects a file.
file(MAKE_DIRECTORY "${WORKDIR}/folder.wav")
