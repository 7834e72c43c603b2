# Compiler settings shared by the library, the Test Camera, tools and tests.

add_library(kivo_platform INTERFACE)
target_compile_definitions(kivo_platform INTERFACE
  WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
  # dshow.h pulls in strsafe.h, which otherwise turns wsprintfW into an error.
  STRSAFE_NO_DEPRECATE
  _WIN32_WINNT=0x0601)

# The resource compiler (version resources) takes none of the compilers'
# options: they go to C and C++ sources only.
if(MSVC)
  target_compile_options(kivo_platform INTERFACE "$<$<COMPILE_LANGUAGE:C,CXX>:/W4;/permissive-;/EHsc>")
else()
  target_compile_options(kivo_platform INTERFACE "$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra>")
  # The runtime is linked in statically: kivo.dll and every program built
  # here need no compiler DLL at run time.
  target_link_options(kivo_platform INTERFACE -static -static-libgcc -static-libstdc++)
endif()

# The platform's DirectShow and COM import libraries.
set(KIVO_PLATFORM_LIBS strmiids quartz ole32 oleaut32 uuid version user32)

if(CMAKE_CROSSCOMPILING)
  # CTest runs the Windows programs through Wine, in a prefix kept inside
  # the build tree.
  set(KIVO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in
                 ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()
