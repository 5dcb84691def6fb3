# The gigabyte the test wrote is not kept.
file(REMOVE "${WORKDIR}/hour.wav" "${WORKDIR}/out.wav")
