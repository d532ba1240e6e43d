# Runs one fuzz target over its seed corpus, in one of two ways:
#   cmake -DFUZZER=<fuzz target> -DCORPUS=<seed folder> -DSEED=<n> -DRUNS=<n> -P run-fuzz.cmake
#     For the suite: every seed is replayed, then RUNS inputs are drawn from SEED, so a run
#     fails for a fault in the program, never for the seed it happened to draw.
#   cmake -DFUZZER=<fuzz target> -DCORPUS=<seed folder> -DSECONDS=<s> -P run-fuzz.cmake
#     Open-ended (make fuzz): a fresh seed each time, for SECONDS; what it learns is kept beside
#     the target for the next session.
# New inputs go to a scratch folder beside the target, never into the seed corpus in the source
# tree: an input that fails is added there by hand, under a name that says what it is, with its fix.
get_filename_component(scratch ${FUZZER} DIRECTORY)
get_filename_component(name ${FUZZER} NAME)
if(DEFINED SEED AND DEFINED RUNS)
    set(found ${scratch}/found-${name})
    file(REMOVE_RECURSE ${found}) # the same start on every run
    set(bounds -seed=${SEED} -runs=${RUNS})
elseif(DEFINED SECONDS)
    set(found ${scratch}/explored-${name})
    set(bounds -max_total_time=${SECONDS})
else()
    message(FATAL_ERROR "give SEED and RUNS (the suite's run) or SECONDS (open-ended)")
endif()
file(MAKE_DIRECTORY ${found})
execute_process(COMMAND ${FUZZER} ${bounds} -max_len=4096 -artifact_prefix=${scratch}/ ${found} ${CORPUS}
                RESULT_VARIABLE failed
                ERROR_VARIABLE log ECHO_ERROR_VARIABLE)
if(failed)
    string(REGEX MATCH "Test unit written to ([^\n]*)" written "${log}")
    message(FATAL_ERROR "${name} found a failure: the input is ${CMAKE_MATCH_1}. Copy it into ${CORPUS} under "
                        "a name that says what it is, and fix the fault.")
endif()
