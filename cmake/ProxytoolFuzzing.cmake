# The fuzz build (preset `fuzz`, clang): the portable libraries text, harvest_core and http_core
# instrumented for libFuzzer coverage and built with AddressSanitizer and UndefinedBehaviorSanitizer
# (every UB report aborts, so libFuzzer keeps the input), and the fuzz targets of tests/fuzz/.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "PROXYTOOL_FUZZ needs clang (libFuzzer); configure with the fuzz preset")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

add_subdirectory(text)
add_subdirectory(http)
add_subdirectory(harvest)

enable_testing()
add_subdirectory(tests/fuzz)
