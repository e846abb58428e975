# Every target, the framework included, so that a fault is caught wherever our calls lead. An
# undefined behaviour stops the program like a memory error does, so no test can pass over one.
if(VYRPM_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
