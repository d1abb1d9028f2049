# Compiler settings shared by every target of the project.

add_compile_options(-Wall -Wextra -Wshadow -Werror)
add_compile_definitions(QT_NO_CONTEXTLESS_CONNECT)

# Whether this build runs under AddressSanitizer and UBSan: asked for, or a
# libFuzzer build (which always is).
set(KESTRUNE_SANITIZED OFF)
if(KESTRUNE_SANITIZE OR (KESTRUNE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    set(KESTRUNE_SANITIZED ON)
endif()

if(KESTRUNE_SANITIZED)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A libFuzzer build (clang) instruments everything for coverage, so the fuzz
# targets see the branches inside the libraries they link. The unit tests of
# the same build run under the sanitizers as in a plain sanitizer build.
if(KESTRUNE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# kestrune_add_test(NAME SOURCES... LIBS... [LABELS ...])
# One Qt Test executable per unit, registered with CTest. Window tests run
# on the offscreen platform; every test gets its own settings folder so
# nothing leaks into the user's real configuration.
function(kestrune_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
    target_compile_definitions(${name} PRIVATE
        KESTRUNE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        KESTRUNE_BINARY_DIR="${PROJECT_BINARY_DIR}")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTRUNE_TEST_TMP=${PROJECT_BINARY_DIR}/tests/tmp-${name}")
endfunction()
