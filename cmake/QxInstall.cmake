# cmake --install BUILD --prefix P: the libraries into P/lib (GNUInstallDirs'
# LIBDIR), the programs into P/bin, the demo database into P/share/qxodbc.
# The libraries' run path is $ORIGIN (they sit side by side); the programs
# link none of them. drvinstall run from P/bin finds the libraries in the
# LIBDIR beside it (setup/CMakeLists.txt passes the relative path).
install(TARGETS sqldriver netclient dsnconfig qxutf8
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS drvinstall setupboot qxserver qxsort
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/qxserver/fixtures/demo.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/qxodbc)
# Installed side by side, the libraries need only each other: the run path
# they have in the build (which also reaches the client library's folder) is
# cut to $ORIGIN.
install(CODE "set(qx_libdir \"${CMAKE_INSTALL_LIBDIR}\")")
install(CODE [[
  foreach(lib libsqldriver.so libdsnconfig.so libnetclient.so)
    file(RPATH_SET FILE "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${qx_libdir}/${lib}"
         NEW_RPATH "$ORIGIN")
  endforeach()
]])
