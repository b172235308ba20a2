# Host build: the simulator, the stub's code against it, the unit tests and
# the vesk tool.
option(VESK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VESK_FUZZ "Build the fuzz targets for libFuzzer (clang), with ASan and UBSan" OFF)
if(VESK_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(VESK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)

enable_testing()
find_package(GTest REQUIRED)

file(GLOB VESK_SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
# Object libraries: every simulator domain registers itself at static
# initialisation, so all of its objects must be linked.
add_library(vesk_sim OBJECT ${VESK_SIM_SOURCES})
target_include_directories(vesk_sim PUBLIC ${CMAKE_SOURCE_DIR})
# The simulator serves the resources that the Windows build embeds, compiled
# from the same script into a .res file.
find_program(VESK_WINDRES NAMES i686-w64-mingw32-windres windres REQUIRED)
set(VESK_RESOURCE_FILE ${CMAKE_BINARY_DIR}/vesk.res)
add_custom_command(OUTPUT ${VESK_RESOURCE_FILE}
    COMMAND ${VESK_WINDRES} -I ${CMAKE_SOURCE_DIR} -O res -o ${VESK_RESOURCE_FILE}
        ${CMAKE_SOURCE_DIR}/resources/vesk.rc
    DEPENDS resources/vesk.rc resources/vesk.ico resources/splash.bmp
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(vesk_resources DEPENDS ${VESK_RESOURCE_FILE})
add_dependencies(vesk_sim vesk_resources)
target_compile_definitions(vesk_sim PRIVATE VESK_RESOURCE_FILE="${VESK_RESOURCE_FILE}")
add_library(vesk_stub_host OBJECT ${VESK_STUB_SOURCES})
target_include_directories(vesk_stub_host PUBLIC ${CMAKE_SOURCE_DIR})

file(GLOB VESK_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit_tests ${VESK_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE vesk_sim vesk_stub_host GTest::gtest GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE VESK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VESK_BINARY_DIR="${CMAKE_BINARY_DIR}")
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# The stub's floors run one way: no include goes up a floor, none goes round.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check-layers ${CMAKE_SOURCE_DIR})

foreach(dir tools/vesk tests/e2e benchmarks tests/fuzz)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()
