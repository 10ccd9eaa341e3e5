# Libraries the engine links, all from Debian packages (scripts/install-deps).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(VCV_GL REQUIRED IMPORTED_TARGET gl glu)
pkg_check_modules(VCV_XML REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(VCV_IL REQUIRED IMPORTED_TARGET IL)
pkg_check_modules(VCV_ZIP REQUIRED IMPORTED_TARGET minizip zlib)
target_link_libraries(vcv_engine PUBLIC Threads::Threads PkgConfig::VCV_GL PkgConfig::VCV_XML
                      PkgConfig::VCV_IL PkgConfig::VCV_ZIP)
