# Building Windows programs that run without the C runtime, down to an unpatched
# Windows 95: own entry point, no exceptions or RTTI, only the import libraries named.

# No -fdata-sections: with it MinGW's compiler places zero-filled variables in .data,
# where they take room in the file, instead of in .bss.
# Size: -Oz, no frame pointer, no tail merging, partial inlining or shrink-wrapping
# (each measured to cost bytes here), and link-time optimisation, which turns the
# functions that only the program itself calls into register-argument calls and
# inlines those called once. The objects are fat: the
# tests that link the libraries without link-time optimisation get plain code.
# The code generation options are given again where the programs are linked, which is
# where link-time optimisation generates their code.
set(VELMOR_CRT_FREE_CODEGEN_OPTIONS
  -Oz -fomit-frame-pointer -fno-tree-tail-merge -fno-partial-inlining -fno-shrink-wrap
  -flto -Werror=frame-larger-than=2048)
# 32-bit Windows keeps the stack 4-byte aligned, also on entry to a window or dialog
# procedure: code that assumes more only spends bytes realigning it.
# Stack probes: MinGW's compiler probes the pages of every frame of 4 KB or more, and
# on 32-bit Windows keeps the outgoing arguments inside the frame for that, storing
# each one with a long move instead of pushing it. Here no frame comes near a page (a
# larger one fails the build, also after link-time inlining, which makes the frames)
# and no argument is larger than a few words, so every access to the stack lands at
# most one page below the last one touched, which is all that Windows' guard page
# needs. Without the probes the arguments are pushed: about a fifth less code.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND VELMOR_CRT_FREE_CODEGEN_OPTIONS -mpreferred-stack-boundary=2 -mno-stack-arg-probe)
endif()
set(VELMOR_CRT_FREE_COMPILE_OPTIONS
  ${VELMOR_CRT_FREE_CODEGEN_OPTIONS} -ffat-lto-objects
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
  -ffunction-sections -fno-ident -fno-tree-loop-distribute-patterns
  -Wall -Wextra)
# Every other program of the tree (the Windows-side tests, the tools) links the plain
# code of those objects: link-time optimisation across them and the C runtime's
# objects would see an inline function once as a plain and once as a link-once symbol.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -fno-lto")

# A static library of CRT-free code: linked into the programs and into the tests.
function(velmor_add_crt_free_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${VELMOR_CRT_FREE_COMPILE_OPTIONS})
  target_compile_definitions(${name} PUBLIC WIN32_LEAN_AND_MEAN WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0400)
endfunction()

# velmor_add_windows_program(NAME ENTRY symbol SOURCES ... LIBRARIES ... IMPORTS dll ...)
# A GUI program for subsystem 4.0, linked with -nostdlib: a call into any runtime or
# any DLL not listed under IMPORTS fails at link time.
function(velmor_add_windows_program name)
  cmake_parse_arguments(P "" "ENTRY" "SOURCES;LIBRARIES;IMPORTS" ${ARGN})
  add_executable(${name} WIN32 ${P_SOURCES} ${VELMOR_SOURCE_DIR}/common/win/crt.cpp)
  target_compile_options(${name} PRIVATE ${VELMOR_CRT_FREE_COMPILE_OPTIONS})
  # The compiler must not turn the loops of memset and memcpy into calls to themselves.
  # They stay out of link-time optimisation: the calls to them that the code generator
  # emits only appear after it has decided which functions are used.
  set_source_files_properties(${VELMOR_SOURCE_DIR}/common/win/crt.cpp PROPERTIES
    COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns;-fno-builtin;-fno-lto")
  target_link_options(${name} PRIVATE
    ${VELMOR_CRT_FREE_CODEGEN_OPTIONS} -nostdlib -nostartfiles -static-libgcc
    -Wl,--gc-sections -s
    -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,-e,${VELMOR_SYMBOL_PREFIX}${P_ENTRY})
  list(TRANSFORM P_IMPORTS PREPEND -l OUTPUT_VARIABLE import_flags)
  target_link_libraries(${name} PRIVATE ${P_LIBRARIES} ${import_flags})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ${name} SUFFIX .exe
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

# velmor_use_flat_layout(TARGET): for the shipped 32-bit programs. Loaded at their
# preferred base on every Windows they target, they need no relocations; their import
# table, code and data share one writable section, which keeps the headers within 512
# bytes and pads the file only once (cmake/flat-layout-i686.ld).
function(velmor_use_flat_layout target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(script ${VELMOR_SOURCE_DIR}/cmake/flat-layout-i686.ld)
    target_link_options(${target} PRIVATE -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
      -Wl,-T,${script})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
endfunction()

# velmor_load_packages_as_modules(TARGET): for programs that load packages into their
# own process as modules, to run the stub's code on them. The shipped 32-bit stub has
# no relocations and can only be loaded at its preferred base (0x400000, every
# program's default), so such a program must be linked elsewhere.
function(velmor_load_packages_as_modules target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--image-base,0x10000000)
  endif()
endfunction()
