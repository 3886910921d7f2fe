# `cmake --install` puts the image library (with the number-text libraries it links), its public
# headers and a CMake package in place; other programs then use
#   find_package(LauncherImage REQUIRED)
#   target_link_libraries(app PRIVATE LauncherImage::image)
# Native builds only: the Windows builds link their own copies of libpng, libjpeg and zlib.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(IMAGE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/LauncherImage)
target_include_directories(image INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(textnum INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(numtext INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS image textnum numtext EXPORT LauncherImageTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/image/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/image
        FILES_MATCHING PATTERN "*.h" PATTERN "*_internal.h" EXCLUDE)
install(EXPORT LauncherImageTargets NAMESPACE LauncherImage:: DESTINATION ${IMAGE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/LauncherImageConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/LauncherImageConfig.cmake
                              INSTALL_DESTINATION ${IMAGE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/LauncherImageConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LauncherImageConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/LauncherImageConfigVersion.cmake
        DESTINATION ${IMAGE_PACKAGE_DIR})
