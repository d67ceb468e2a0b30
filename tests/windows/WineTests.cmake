# The Windows build's tests, run by CTest under Wine on the build machine.
# Included from tests/CMakeLists.txt in place of the Linux list: only tests
# that need no Linux service (D-Bus, the sound server's client library) are
# built here, the data tests on SQLite alone, plus every *_win test.

set(wine_prefix ${CMAKE_BINARY_DIR}/wine)
# add_test runs each test executable through this.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-run ${wine_prefix})

set(windows_tests
  tst_scheduler tst_Statements tst_StoredTime tst_TDataModule1
  tst_windowflow tst_errorhandling tst_translations tst_mainwindow tst_runwindow tst_gate
  tst_colors tst_drawingsurface tst_flatcombobox tst_xpgraphutil tst_xppages
  tst_regionalformats tst_messageboxes tst_singleinstance tst_timer tst_frameconverter tst_roomjournal
  tst_localcopy)
set(windows_test_sources)
foreach(source IN LISTS test_sources)
  get_filename_component(name ${source} NAME_WE)
  if(name IN_LIST windows_tests OR name MATCHES "_win$")
    list(APPEND windows_test_sources ${source})
  endif()
endforeach()

foreach(source IN LISTS windows_test_sources)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE tessivox_testsupport)
  # Registered below, with the sound server it plays into.
  if(name STREQUAL "tst_wasapi_win")
    continue()
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(environment QT_QPA_PLATFORM=offscreen TESSIVOX_TEST_SQLITE_ONLY=1
    TESSIVOX_TEST_TOOLS=${CMAKE_BINARY_DIR}/bin)
  # A Windows program's language is the user's, fixed before it starts;
  # Wine takes it from LC_ALL.
  if(name STREQUAL "tst_translations")
    list(APPEND environment LC_ALL=zh_CN.UTF-8)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${environment}")
endforeach()

# The sound device plays into the tests' private null sink through Wine's
# PulseAudio driver; the script records the sink and checks that it was heard.
# Whatever records testsink holds it alone: another test's sound would be
# heard there as its own.
add_test(NAME tst_wasapi_win COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/audio/wasapi-into-sink
  ${pulse_dir} ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-run ${wine_prefix}
  $<TARGET_FILE:tst_wasapi_win>)
set_tests_properties(tst_wasapi_win PROPERTIES FIXTURES_REQUIRED sound_server TIMEOUT 300
  RESOURCE_LOCK testsink ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
# Without a sound server Wine has no output: the count says so, and a play
# fails naming its file.
add_test(NAME tst_wasapi_win_no_output COMMAND tst_wasapi_win)
set_tests_properties(tst_wasapi_win_no_output PROPERTIES TIMEOUT 300 ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;PULSE_SERVER=unix:/nonexistent/native;TESSIVOX_EXPECT_NO_OUTPUT=1")

# The real program as a room uses it, as check-program-plays does (see
# tests/CMakeLists.txt), each check in a Wine prefix of its own.
# check-server-room: a room of an exam centre's server, reached over TCP on
# a free port of 127.0.0.1 of a private server of its own.
# check-installer: the installer and the portable zip made from this build.
foreach(check IN ITEMS check-server-room check-installer)
  add_test(NAME ${check} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/${check} ${CMAKE_BINARY_DIR})
  set_tests_properties(${check} PROPERTIES TIMEOUT 600 LABELS "e2e;${check}" SKIP_RETURN_CODE 77
    FIXTURES_REQUIRED sound_server RESOURCE_LOCK testsink
    ENVIRONMENT "PULSE_SERVER=unix:${pulse_dir}/native")
endforeach()
