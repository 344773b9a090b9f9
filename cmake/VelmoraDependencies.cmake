# The system libraries of the layers, all from Debian 12 packages that scripts/setup.sh installs.
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(pugixml REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(EPOXY REQUIRED IMPORTED_TARGET epoxy)
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
# The application's libraries: package download, zip packages, texture conversion.
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
# Debian's libsquish.pc names a wrong prefix; the header and library are found directly.
find_path(SQUISH_INCLUDE_DIR squish.h REQUIRED)
find_library(SQUISH_LIBRARY squish REQUIRED)
add_library(Velmora::Squish UNKNOWN IMPORTED)
set_target_properties(Velmora::Squish PROPERTIES IMPORTED_LOCATION ${SQUISH_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${SQUISH_INCLUDE_DIR})
# Fake HTTP servers of the package download tests (Debian's libcpp-httplib-dev: header plus shared library).
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
