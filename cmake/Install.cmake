# cmake --install: the programs in <prefix>/bin, their read-only data (as the build bakes it beside
# vcv) in <prefix>/share/vcv/, and the desktop integration: launcher, icons and thumbnailer. A vcv
# that finds ../share/vcv/ beside its directory knows it is installed and keeps the user's files
# under $XDG_DATA_HOME/vcv/.
include(GNUInstallDirs)

set(vcv_built_dir ${CMAKE_BINARY_DIR}/viewer)
install(TARGETS vcv vcvtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${vcv_built_dir}/data/font.sff ${vcv_built_dir}/data/font.stf ${vcv_built_dir}/data/inter.stf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vcv/data)
install(FILES ${vcv_built_dir}/language/vorfre.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/vcv/language)

set(vcv_desktop_dir ${CMAKE_SOURCE_DIR}/assets/desktop)
install(FILES ${vcv_desktop_dir}/vcv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48x48 256x256)
  install(FILES ${vcv_built_dir}/icons/${size}/vcv.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${vcv_desktop_dir}/vcv.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(PROGRAMS ${vcv_desktop_dir}/vcv-thumbnailer DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
