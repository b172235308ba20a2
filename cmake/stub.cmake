# vesk-stub.exe: PE32 GUI program, no C runtime, entry routine StubEntry.
enable_language(RC)
file(GLOB VESK_WIN32_SOURCES CONFIGURE_DEPENDS win32/*.cpp)
set(VESK_RESOURCE_SCRIPT ${CMAKE_SOURCE_DIR}/resources/vesk.rc)

add_executable(vesk-stub WIN32 ${VESK_STUB_SOURCES} ${VESK_WIN32_SOURCES}
    ${VESK_RESOURCE_SCRIPT} ${CMAKE_SOURCE_DIR}/resources/vesk.def)
target_include_directories(vesk-stub PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(vesk-stub PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-stack-protector -fno-threadsafe-statics
    -Wall -Wextra -Werror>)
target_link_options(vesk-stub PRIVATE
    -nostdlib -nostartfiles -Wl,-e,_StubEntry@0
    -Wl,--subsystem,windows:4.0 -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -s)
# CMake hands a .def file to the linker only for libraries: name it on the
# link line for the exports, and relink when it changes.
target_link_options(vesk-stub PRIVATE ${CMAKE_SOURCE_DIR}/resources/vesk.def)
set_property(TARGET vesk-stub APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/resources/vesk.def)
target_link_libraries(vesk-stub PRIVATE kernel32 user32 gdi32 advapi32 shell32 comctl32 gcc)
set_target_properties(vesk-stub PROPERTIES OUTPUT_NAME vesk-stub SUFFIX .exe)
