# JUCE's core and events modules, taken from Debian's juce-modules-source-data and compiled once
# into one static library that every target links.
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)
find_package(ZLIB REQUIRED)

set(JUCE_MODULES_DIR "/usr/share/juce/modules" CACHE PATH "Folder holding the JUCE modules")
if(NOT EXISTS "${JUCE_MODULES_DIR}/juce_core/juce_core.cpp")
    message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR} (install juce-modules-source-data)")
endif()

add_library(juce STATIC
    "${JUCE_MODULES_DIR}/juce_core/juce_core.cpp"
    "${JUCE_MODULES_DIR}/juce_events/juce_events.cpp")

target_include_directories(juce SYSTEM PUBLIC "${JUCE_MODULES_DIR}")
target_compile_definitions(juce PUBLIC
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_MODULE_AVAILABLE_juce_core=1
    JUCE_MODULE_AVAILABLE_juce_events=1
    JUCE_USE_CURL=1
    JUCE_LOAD_CURL_SYMBOLS_LAZILY=1
    JUCE_WEB_BROWSER=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_DISABLE_JUCE_VERSION_PRINTING=1
    $<IF:$<CONFIG:Debug>,DEBUG=1;_DEBUG=1,NDEBUG=1>)
# libcurl is opened on the first web request (manager/http/curlLibrary.cpp), so only its header is
# needed here. Debian strips the framework's bundled zlib, so the system one is linked.
target_include_directories(juce SYSTEM PUBLIC ${CURL_INCLUDE_DIRS})
target_link_libraries(juce PUBLIC ZLIB::ZLIB Threads::Threads ${CMAKE_DL_LIBS} rt)
# The leak checker cannot walk the thread-local storage of libraries opened at run time (libcurl's
# TLS libraries), so a checked build loads libcurl at start-up; the framework's opening of it
# then finds it there.
if(VYRPM_SANITIZE)
    target_link_libraries(juce PUBLIC CURL::libcurl)
endif()
# The framework's own sources are not ours to keep warning-free.
target_compile_options(juce PRIVATE -w)
