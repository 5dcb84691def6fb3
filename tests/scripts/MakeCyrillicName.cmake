# The file system's own name for a file: UTF-8 on the Linux side.
file(RENAME "${WORKDIR}/tone.wav" "${WORKDIR}/Звук.wav")
