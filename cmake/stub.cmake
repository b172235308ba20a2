# vesk-stub.exe: PE32 GUI program, no C runtime, entry routine StubEntry.
# The x86-64 toolchain builds the same sources into its twin,
# vesk-stub-x64.exe (PE32+), whose symbols carry no stdcall decoration.
enable_language(RC)
file(GLOB VESK_WIN32_SOURCES CONFIGURE_DEPENDS win32/*.cpp)
set(VESK_RESOURCE_SCRIPT ${CMAKE_SOURCE_DIR}/resources/vesk.rc)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(VESK_STUB_NAME vesk-stub-x64)
    set(VESK_STUB_ENTRY StubEntry)
    set(VESK_EXPORTS ${CMAKE_SOURCE_DIR}/resources/vesk-x64.def)
else()
    set(VESK_STUB_NAME vesk-stub)
    set(VESK_STUB_ENTRY _StubEntry@0)
    set(VESK_EXPORTS ${CMAKE_SOURCE_DIR}/resources/vesk.def)
endif()

add_executable(vesk-stub WIN32 ${VESK_STUB_SOURCES} ${VESK_WIN32_SOURCES}
    ${VESK_RESOURCE_SCRIPT} ${VESK_EXPORTS})
target_include_directories(vesk-stub PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(vesk-stub PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-stack-protector -fno-threadsafe-statics -fno-ident -malign-data=abi
    -Wall -Wextra -Werror>)
# One translation unit for the whole program: every function but the
# exports becomes local, so the compiler inlines what is called once and
# passes arguments in registers where it can.
set_target_properties(vesk-stub PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
target_compile_options(vesk-stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fwhole-program>)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    # 32-bit code: arguments pushed rather than stored (the Win32 API pops
    # its own), no frame pointer, and the 4-byte stack alignment that is all
    # Windows promises. Without stack probes no frame may be larger than the
    # stack's guard page, which the frame limit holds the code to.
    target_compile_options(vesk-stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-mno-accumulate-outgoing-args
        -mno-stack-arg-probe -mpreferred-stack-boundary=2 -fomit-frame-pointer -Wframe-larger-than=3584>)
endif()
# No link time in the image (the PE header's and the export directory's
# TimeDateStamp stay 0): two builds of one commit give the same bytes, and so
# do the setups made from them.
target_link_options(vesk-stub PRIVATE
    -nostdlib -nostartfiles -Wl,-e,${VESK_STUB_ENTRY}
    -Wl,--subsystem,windows:4.0 -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--no-insert-timestamp -s)
# CMake hands a .def file to the linker only for libraries: name it on the
# link line for the exports, and relink when it changes.
target_link_options(vesk-stub PRIVATE ${VESK_EXPORTS})
set_property(TARGET vesk-stub APPEND PROPERTY LINK_DEPENDS ${VESK_EXPORTS})
target_link_libraries(vesk-stub PRIVATE kernel32 user32 gdi32 advapi32 shell32 comctl32 gcc)
set_target_properties(vesk-stub PROPERTIES OUTPUT_NAME ${VESK_STUB_NAME} SUFFIX .exe)
