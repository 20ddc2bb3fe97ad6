# Runs one fuzzer for SECONDS from a fresh copy of its seed corpus in WORK;
# any failing input is left in WORK/crashes.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/crashes)
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)
execute_process(
    COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=1100 -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 -artifact_prefix=${WORK}/crashes/ ${WORK}/corpus
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result}); see ${WORK}/crashes")
endif()
