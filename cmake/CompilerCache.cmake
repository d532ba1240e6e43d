# Compiles through ccache when it is installed. The suite's tree and the mutation check's copy of
# the sources are compiled with the same flags; ccache hashes paths relative to
# TALLYLEAF_CCACHE_BASEDIR (the checkout), so the copy, laid out like the checkout, reuses the
# suite's compiles instead of repeating them.
find_program(TALLYLEAF_CCACHE ccache)
set(TALLYLEAF_CCACHE_BASEDIR "${CMAKE_SOURCE_DIR}" CACHE PATH "Where ccache makes paths relative")
if(TALLYLEAF_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_CXX_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${TALLYLEAF_CCACHE_BASEDIR} CCACHE_NOHASHDIR=1 ${TALLYLEAF_CCACHE})
endif()
