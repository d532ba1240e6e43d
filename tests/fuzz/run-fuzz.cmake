# cmake -DFUZZER=<fuzz target> -DCORPUS=<seed folder> -DRUNS=<n> -DSECONDS=<s> -P run-fuzz.cmake
# New inputs go to a scratch folder beside the target, never into the seed corpus in the source tree.
get_filename_component(scratch ${FUZZER} DIRECTORY)
get_filename_component(name ${FUZZER} NAME)
set(found ${scratch}/found-${name})
file(REMOVE_RECURSE ${found})
file(MAKE_DIRECTORY ${found})
execute_process(COMMAND ${FUZZER} -runs=${RUNS} -max_total_time=${SECONDS} -max_len=4096 -artifact_prefix=${scratch}/
                        ${found} ${CORPUS}
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${name} found a failure (the input is in ${scratch})")
endif()
