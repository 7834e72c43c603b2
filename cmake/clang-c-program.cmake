# C programs built by clang instead of the project's compiler, against the
# GCC-built kivo.dll: they show that kivo's C interface serves a host built by
# another compiler, and the tests run them.
#
#   kivo_clang_c_program(<name> SOURCES <files...> [INCLUDES <dirs...>] [LIBS <libs...>]
#                        [DEFINES <NAME=value...>])
#
# builds <bin>/<name>.exe as part of the default build (target <name>). A LIBS
# entry is a library target of this project (linked through its import
# library), a file path, or a platform library name such as ole32. kivo itself
# and its headers are always there.
#
# clang targets x86_64-w64-windows-gnu: MinGW-w64's headers, import libraries
# and C runtime (msvcrt), with lld as linker, so the program needs no DLL
# beyond the system's and kivo.dll. Only the MinGW-w64 GCC build makes them;
# an MSVC build already builds the C example with a compiler other than GCC.

if(NOT MINGW)
  function(kivo_clang_c_program name)
  endfunction()
  return()
endif()

find_program(KIVO_CLANG NAMES clang clang-14 DOC "clang for the C programs built by clang")
if(NOT KIVO_CLANG)
  message(FATAL_ERROR "clang was not found: the C interface's tests build C programs with it. "
                      "scripts/setup.sh installs it (Debian packages clang and lld), or set "
                      "KIVO_CLANG to its path.")
endif()

# Without a sysroot, clang finds MinGW-w64 through the gcc beside it and then
# also searches the build machine's /usr/include and /usr/lib.
set(kivo_clang_default_sysroot "")
if(CMAKE_FIND_ROOT_PATH)
  list(GET CMAKE_FIND_ROOT_PATH 0 kivo_clang_default_sysroot)
endif()
set(KIVO_CLANG_SYSROOT "${kivo_clang_default_sysroot}" CACHE PATH
    "MinGW-w64's root (include, lib) for the C programs built by clang")

# clang's MinGW driver links libgcc statically, from GCC's own folder, which
# it does not find when the GCC release folder has a suffix ("12-posix").
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE kivo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(KIVO_CLANG_LIBGCC_DIR "${kivo_libgcc}" DIRECTORY)

# The project's definitions (cmake/platform.cmake), and warnings as errors:
# the programs are examples of clean C99.
set(KIVO_CLANG_C_FLAGS
    --target=x86_64-w64-windows-gnu -fuse-ld=lld
    -std=c99 -pedantic -Wall -Wextra -Werror -O2 -g
    -DWIN32_LEAN_AND_MEAN -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601)
if(KIVO_CLANG_SYSROOT)
  list(APPEND KIVO_CLANG_C_FLAGS --sysroot=${KIVO_CLANG_SYSROOT})
endif()

file(GLOB KIVO_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/kivo/*.h)

function(kivo_clang_c_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;INCLUDES;LIBS;DEFINES")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "kivo_clang_c_program(${name}): no SOURCES")
  endif()
  set(output ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}.exe)

  set(sources)
  foreach(source ${arg_SOURCES})
    get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND sources ${source})
  endforeach()

  set(includes -I${PROJECT_SOURCE_DIR}/include)
  foreach(dir ${arg_INCLUDES})
    get_filename_component(dir ${dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND includes -I${dir})
  endforeach()

  set(defines)
  foreach(define ${arg_DEFINES})
    list(APPEND defines -D${define})
  endforeach()

  set(libs $<TARGET_LINKER_FILE:kivo>)
  set(depends kivo $<TARGET_LINKER_FILE:kivo>)
  foreach(lib ${arg_LIBS})
    if(TARGET ${lib})
      list(APPEND libs $<TARGET_LINKER_FILE:${lib}>)
      list(APPEND depends ${lib} $<TARGET_LINKER_FILE:${lib}>)
    elseif(IS_ABSOLUTE ${lib})
      list(APPEND libs ${lib})
      list(APPEND depends ${lib})
    else()
      list(APPEND libs -l${lib})
    endif()
  endforeach()

  add_custom_command(
    OUTPUT ${output}
    COMMAND ${KIVO_CLANG} ${KIVO_CLANG_C_FLAGS} ${defines} ${includes} ${sources} -o ${output}
            -L${KIVO_CLANG_LIBGCC_DIR} ${libs}
    DEPENDS ${sources} ${KIVO_PUBLIC_HEADERS} ${depends}
    COMMENT "Building C program ${name}.exe with clang"
    VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(${name} ALL DEPENDS ${output})
endfunction()
