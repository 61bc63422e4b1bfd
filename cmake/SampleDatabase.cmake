# Runs datebell-newdb --sample in DIR unless DIR already holds a database.
if(NOT EXISTS "${DIR}/Datebell.mdb")
    execute_process(COMMAND "${NEWDB}" --sample "${DIR}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "datebell-newdb failed: ${result}")
    endif()
endif()
