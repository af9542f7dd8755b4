# sfxpack's CMake package (cmake/package): what find_package(sfxpack CONFIG) reads,
# installed into lib/cmake/sfxpack. It finds everything from its own place, so the
# .deb works unpacked anywhere; the version file takes any consumer's architecture, as
# sfxpack runs on the build machine, whatever the project builds for.
include(CMakePackageConfigHelpers)
set(sfx_cmake_dir lib/cmake/sfxpack)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/package/sfxpackConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/sfxpackConfig.cmake
                              INSTALL_DESTINATION ${sfx_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/sfxpackConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/package/sfxpackConfig.cmake ${CMAKE_BINARY_DIR}/package/sfxpackConfigVersion.cmake
              cmake/package/SfxpackArguments.cmake cmake/package/SfxpackAddInstaller.cmake
              cmake/package/SfxpackAddTryTest.cmake cmake/package/SfxpackCPackExternal.cmake
        DESTINATION ${sfx_cmake_dir})
