# Warnings for the project's own targets; third-party code is included as SYSTEM.
function(vyrpm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${VYRPM_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
