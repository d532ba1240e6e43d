# cmake -DSOURCE_DIR=<tests/fuzz> -DBINARY_DIR=<dir> -DCXX=<clang++> -DRUNS=<n> -DSECONDS=<s>
#       [-DFUZZER=<target, fuzz_dayfile>] [-DCORPUS=<seed folder, corpus>] -P run-fuzz.cmake
if(NOT FUZZER)
    set(FUZZER fuzz_dayfile)
endif()
if(NOT CORPUS)
    set(CORPUS corpus)
endif()
foreach(step
        "${CMAKE_COMMAND};-S;${SOURCE_DIR};-B;${BINARY_DIR};-DCMAKE_CXX_COMPILER=${CXX};-DCMAKE_BUILD_TYPE=RelWithDebInfo"
        "${CMAKE_COMMAND};--build;${BINARY_DIR};-j2;--target;${FUZZER}")
    execute_process(COMMAND ${step} RESULT_VARIABLE failed OUTPUT_QUIET)
    if(failed)
        message(FATAL_ERROR "fuzz target: `${step}` failed")
    endif()
endforeach()

# New inputs go to a scratch folder, never into the seed corpus in the source tree.
file(REMOVE_RECURSE ${BINARY_DIR}/found)
file(MAKE_DIRECTORY ${BINARY_DIR}/found)
execute_process(COMMAND ${BINARY_DIR}/${FUZZER} -runs=${RUNS} -max_total_time=${SECONDS} -max_len=4096 -artifact_prefix=${BINARY_DIR}/
                        ${BINARY_DIR}/found ${SOURCE_DIR}/${CORPUS}
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${FUZZER} found a failure (the input is in ${BINARY_DIR})")
endif()
