# A Windows program finds its DLLs beside itself: Qt's, the plugins it loads
# at run time, libpq, libsndfile and the compiler's runtime are copied into
# the build's bin folder (so the tests run from there under Wine) and
# installed beside the executables (so the installed folder and the zip run
# from anywhere).

set(prefix ${TESSIVOX_WINDOWS_PREFIX})
set(windows_dlls)
foreach(module IN ITEMS Core Gui Widgets Sql Network)
  list(APPEND windows_dlls ${prefix}/bin/Qt6${module}.dll)
endforeach()
file(GLOB windows_libraries ${prefix}/bin/libpq.dll ${prefix}/lib/libpq.dll
  ${prefix}/bin/libsndfile*.dll)
list(APPEND windows_dlls ${windows_libraries})
# The posix flavour's runtime, wherever this compiler keeps it.
foreach(runtime IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}")
    message(FATAL_ERROR "The compiler's ${runtime} was not found")
  endif()
  list(APPEND windows_dlls ${runtime_path})
endforeach()

# Plugin folders as Qt looks for them beside the executable.
set(windows_plugins
  platforms/qwindows.dll platforms/qoffscreen.dll
  sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll
  styles/qwindowsvistastyle.dll)
foreach(plugin IN LISTS windows_plugins)
  if(NOT EXISTS ${prefix}/plugins/${plugin})
    message(FATAL_ERROR "${prefix}/plugins/${plugin} is missing: run scripts/windows")
  endif()
endforeach()
# Qt's own Chinese texts (dialog buttons), from Debian's translations.
set(windows_translations /usr/share/qt6/translations/qtbase_zh_CN.qm)

# The build tree: the tests also need QtTest.
set(bin ${CMAKE_BINARY_DIR}/bin)
file(COPY ${windows_dlls} ${prefix}/bin/Qt6Test.dll DESTINATION ${bin})
foreach(plugin IN LISTS windows_plugins)
  get_filename_component(folder ${plugin} DIRECTORY)
  file(COPY ${prefix}/plugins/${plugin} DESTINATION ${bin}/${folder})
endforeach()
file(COPY ${windows_translations} DESTINATION ${bin}/translations)
# Qt then looks for plugins and translations in the program's folder, never
# in the prefix it was built for.
set(qt_conf "[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n")
file(WRITE ${bin}/qt.conf ${qt_conf})

install(FILES ${windows_dlls} DESTINATION .)
foreach(plugin IN LISTS windows_plugins)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${prefix}/plugins/${plugin} DESTINATION ${folder})
endforeach()
install(FILES ${windows_translations} DESTINATION translations)
install(FILES ${bin}/qt.conf DESTINATION .)
