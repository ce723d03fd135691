# libkestova, shared and static, and what `cmake --install` puts beside it: the headers, a CMake
# package (find_package(Kestova CONFIG), targets Kestova::kestova and Kestova::kestova_static)
# and kestova.pc. Included from the top-level CMakeLists.txt once kestova_capi exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KESTOVA_LIBRARY_OBJECTS $<TARGET_OBJECTS:kestova_capi> $<TARGET_OBJECTS:kestova_codec>
                            $<TARGET_OBJECTS:kestova_engine>)
set(KESTOVA_PUBLIC_INCLUDE $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The shared library: the version script keeps every symbol but the header's functions local,
# so that zlib, libdeflate and the C++ runtime's inline code never bind to a program's own.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/kestova_exports.map "{ global: kestova_*; local: *; };\n")
add_library(kestova_shared SHARED ${KESTOVA_LIBRARY_OBJECTS})
target_include_directories(kestova_shared INTERFACE ${KESTOVA_PUBLIC_INCLUDE})
target_link_libraries(kestova_shared PRIVATE ZLIB::ZLIB kestova_libdeflate)
target_link_options(kestova_shared PRIVATE
  "LINKER:--version-script=${CMAKE_CURRENT_BINARY_DIR}/kestova_exports.map")
if(NOT KESTOVA_SANITIZE)
  target_link_options(kestova_shared PRIVATE "LINKER:--no-undefined")
endif()
set_target_properties(kestova_shared PROPERTIES
  OUTPUT_NAME kestova EXPORT_NAME kestova VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR} LINK_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/kestova_exports.map)

# The static library holds the engine and codec objects too; a program linking it also links
# zlib and libdeflate, which the exported target names and kestova.pc lists as private.
add_library(kestova_static STATIC ${KESTOVA_LIBRARY_OBJECTS})
target_include_directories(kestova_static INTERFACE ${KESTOVA_PUBLIC_INCLUDE})
target_link_libraries(kestova_static INTERFACE $<BUILD_INTERFACE:ZLIB::ZLIB>
                      $<BUILD_INTERFACE:kestova_libdeflate> $<INSTALL_INTERFACE:ZLIB::ZLIB>
                      $<INSTALL_INTERFACE:deflate>)
set_target_properties(kestova_static PROPERTIES OUTPUT_NAME kestova EXPORT_NAME kestova_static
                                                LINKER_LANGUAGE CXX)

install(FILES include/kestova/kestova.h include/kestova/kestova.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestova)
install(TARGETS kestova_shared kestova_static EXPORT KestovaTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(KESTOVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kestova)
install(EXPORT KestovaTargets NAMESPACE Kestova:: DESTINATION ${KESTOVA_CMAKE_DIR})
configure_package_config_file(cmake/KestovaConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/KestovaConfig.cmake
                              INSTALL_DESTINATION ${KESTOVA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KestovaConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KestovaConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/KestovaConfigVersion.cmake
        DESTINATION ${KESTOVA_CMAKE_DIR})
# kestova.pc names its prefix relative to itself, so an installed tree may be moved.
file(RELATIVE_PATH KESTOVA_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(cmake/kestova.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kestova.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestova.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The C interface's tests, written in C, over the interface's objects and the test-only
# processor-path override (so that they run on every path; scripts/test_library.sh checks the
# installed libraries themselves).
if(KESTOVA_BUILD_TESTS)
  enable_language(C)  # only these tests need a C compiler
  enable_testing()
  add_executable(kestova_capi_tests tests/capi/capi_tests.c tests/capi/check.c
                                    tests/capi/path_pin.cpp)
  set_target_properties(kestova_capi_tests PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON
                                                      C_EXTENSIONS OFF)
  target_link_libraries(kestova_capi_tests PRIVATE kestova_path_override kestova_capi)
  target_include_directories(kestova_capi_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(kestova_capi_tests
                             PRIVATE KESTOVA_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/fixtures/codec")
  add_test(NAME capi COMMAND kestova_capi_tests)
  # The C++ layer, over the same objects.
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  add_executable(kestova_hpp_tests tests/capi/kestova_hpp_test.cpp)
  target_link_libraries(kestova_hpp_tests PRIVATE kestova_capi GTest::gtest GTest::gtest_main
                                                  Threads::Threads)
  add_test(NAME capi_hpp COMMAND kestova_hpp_tests)
endif()
