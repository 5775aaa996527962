# The test of a part the machine lacks: it fails with the line it is given,
# which names what is missing and the command that brings it, so that no
# test quietly drops out of the run.
message(FATAL_ERROR "${LINE}")
