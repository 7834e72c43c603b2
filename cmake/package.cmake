# What kivo ships: the install tree, the CMake package that lets another
# project find_package(kivo), and the release archive made from that tree.
#   cmake --install build --prefix P      the tree in P
#   cmake --build build --target package  build/kivo-<version>-win64.zip
# Tests, test support and googletest are never installed; of the tools only
# kivo-probe is shipped, with the Test Camera for machines without a camera.

include(CMakePackageConfigHelpers)

set(KIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivo)

install(TARGETS kivo EXPORT kivoTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The Test Camera is a COM server that regsvr32 loads; nothing links against
# it, so its import library stays behind.
install(TARGETS kivo_testcam kivo-probe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kivo
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")

# Unpacked, the tree is a folder of its own (C:\kivo, say), as Windows
# software is: the README and the licence sit at its top, where a person who
# unpacked it looks first, and the Test Camera's notes (registering it, its
# devices) beside them under a name that says what they describe.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/tools/testcam/README.md DESTINATION .
        RENAME testcam-README.md)

install(EXPORT kivoTargets NAMESPACE kivo:: DESTINATION ${KIVO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kivoConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/kivoConfig.cmake
                              INSTALL_DESTINATION ${KIVO_CMAKE_DIR})
# kivo is at 0.x: a minor release may still change the exported classes, so
# a host built for 0.1 accepts any 0.1.z and nothing else. From 1.0 on,
# SameMajorVersion will say what kivo then promises.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kivoConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kivoConfig.cmake ${CMAKE_BINARY_DIR}/kivoConfigVersion.cmake
        DESTINATION ${KIVO_CMAKE_DIR})

# The release archive: the install tree in one zip, made by CPack's ZIP
# generator (CMake's own archive code: no zip program needed). It unpacks
# into one folder, kivo-<version>-win64.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KIVO_PACKAGE_PLATFORM win64)
else()
  set(KIVO_PACKAGE_PLATFORM win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VENDOR "the kivo authors")
set(CPACK_PACKAGE_FILE_NAME kivo-${PROJECT_VERSION}-${KIVO_PACKAGE_PLATFORM})
# The binaries go in stripped: MinGW's DWARF debug information is for gdb
# alone and makes them three times larger. The build folder keeps it.
set(CPACK_STRIP_FILES ON)
include(CPack)
