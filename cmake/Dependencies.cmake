# Third-party libraries.
#   native: Debian's -dev packages.
#   Windows: zlib from libz-mingw-w64-dev, libpng and libjpeg-turbo as static
#   libraries built by scripts/build-win-deps.sh into WIN_DEPS_PREFIX.
#   Boost.Unordered: headers only, through a folder that holds just a "boost" link,
#   so that no other host header reaches the Windows compilers.

set(BOOST_INCLUDE_SHIM ${CMAKE_BINARY_DIR}/boost-include)
if(NOT EXISTS ${BOOST_INCLUDE_SHIM}/boost)
  file(MAKE_DIRECTORY ${BOOST_INCLUDE_SHIM})
  file(CREATE_LINK /usr/include/boost ${BOOST_INCLUDE_SHIM}/boost SYMBOLIC)
endif()
add_library(boost_headers INTERFACE)
target_include_directories(boost_headers SYSTEM INTERFACE ${BOOST_INCLUDE_SHIM})

if(WIN32)
  if(NOT WIN_DEPS_PREFIX)
    message(FATAL_ERROR "WIN_DEPS_PREFIX must point at the Windows libraries (scripts/build-win-deps.sh)")
  endif()
  set(_sysroot /usr/${WIN_TRIPLE})
  add_library(ZLIB::ZLIB STATIC IMPORTED)
  set_target_properties(ZLIB::ZLIB PROPERTIES
    IMPORTED_LOCATION ${_sysroot}/lib/libz.a
    INTERFACE_INCLUDE_DIRECTORIES ${_sysroot}/include)
  add_library(PNG::PNG STATIC IMPORTED)
  set_target_properties(PNG::PNG PROPERTIES
    IMPORTED_LOCATION ${WIN_DEPS_PREFIX}/lib/libpng16.a
    INTERFACE_INCLUDE_DIRECTORIES ${WIN_DEPS_PREFIX}/include
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  add_library(JPEG::JPEG STATIC IMPORTED)
  set_target_properties(JPEG::JPEG PROPERTIES
    IMPORTED_LOCATION ${WIN_DEPS_PREFIX}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${WIN_DEPS_PREFIX}/include)
else()
  find_package(ZLIB REQUIRED)
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  if(NOT LAUNCHER_FUZZ AND NOT LAUNCHER_HOST_TOOLS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
  endif()
endif()
