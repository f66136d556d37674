# Memcheck over a complete healthy run of the main window against the
# simulator tool on a pseudo-terminal (the end-to-end healthy case). Only in
# the plain build: valgrind and the sanitizers do not mix.
find_program(ZUL_VALGRIND valgrind)
if(ZUL_VALGRIND AND NOT ZUL_SANITIZE AND TARGET e2e_healthy_test)
    add_test(NAME valgrind_complete_run
             COMMAND ${ZUL_VALGRIND} --tool=memcheck --leak-check=full
                     --errors-for-leak-kinds=definite --error-exitcode=3 --num-callers=30
                     --suppressions=${CMAKE_CURRENT_SOURCE_DIR}/valgrind.supp
                     $<TARGET_FILE:e2e_healthy_test>)
    set_tests_properties(valgrind_complete_run PROPERTIES
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "valgrind" TIMEOUT 180 RUN_SERIAL TRUE)
endif()
