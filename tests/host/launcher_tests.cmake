# The launcher's Windows-side suites, each run under the system language it is about.
# Wine takes the system default language from the locale of its own process
# (LC_CTYPE, through LC_ALL), and a started program inherits it.

set(VELMOR_LOCALE_DIR ${CMAKE_BINARY_DIR}/locales)
add_test(NAME wine.locales
  COMMAND ${VELMOR_SOURCE_DIR}/tests/wine/make-locales.sh ${VELMOR_LOCALE_DIR} de_DE es_ES ja_JP)
set_tests_properties(wine.locales PROPERTIES FIXTURES_SETUP locales LABELS wine)

# velmor_add_launcher_wine_test(NAME FILTER VAR=VALUE...)
function(velmor_add_launcher_wine_test name filter)
  add_test(NAME win.${name}
    COMMAND ${VELMOR_SOURCE_DIR}/tests/wine/run-wine.sh ${VELMOR_WINDOWS_TEST_DIR}/velmor-win-tests.exe
            --gtest_filter=${filter})
  set_tests_properties(win.${name} PROPERTIES
    ENVIRONMENT "${VELMOR_WINE_ENVIRONMENT};LOCPATH=${VELMOR_LOCALE_DIR};${ARGN}"
    FIXTURES_REQUIRED "wine;locales"
    LABELS wine
    PASS_REGULAR_EXPRESSION "${VELMOR_GTEST_RAN_SOME}"
    FAIL_REGULAR_EXPRESSION "${VELMOR_GTEST_FAILED}"
    TIMEOUT 300)
endfunction()

velmor_add_launcher_wine_test(ProfileStringTest "*/ProfileStringTest.*" LC_ALL=C.UTF-8)
velmor_add_launcher_wine_test(LauncherTest "LauncherTest.*:*/LauncherVersionTest.*" LC_ALL=C.UTF-8)
velmor_add_launcher_wine_test(LauncherLanguageTest.de_DE "LauncherLanguageTest.*"
  LC_ALL=de_DE.UTF-8 VELMOR_EXPECTED_LANGUAGE=407)
# System (LC_CTYPE) and user (LC_MESSAGES) language differ: the system's counts.
velmor_add_launcher_wine_test(LauncherLanguageTest.es_ES "LauncherLanguageTest.*"
  LC_ALL= LC_CTYPE=es_ES.UTF-8 LC_MESSAGES=de_DE.UTF-8 VELMOR_EXPECTED_LANGUAGE=C0A)
# Code page 932, whose double-byte characters can end in the byte of a backslash.
velmor_add_launcher_wine_test(LauncherLanguageTest.ja_JP "LauncherLanguageTest.*:LauncherDoubleByteTest.*"
  LC_ALL=ja_JP.UTF-8 VELMOR_EXPECTED_LANGUAGE=411)
