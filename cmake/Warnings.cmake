# Warnings for the project's own targets; third-party code is included as SYSTEM.
function(vyrpm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
