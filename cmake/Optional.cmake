# Optional dependencies. Each one that is missing leaves out what needs it and
# says so in one line, naming the Debian package and the option that turns the
# part off, so that the command-line tool builds with a compiler and CMake
# alone. The full test command must not pass with a suite left out:
# TT_REQUIRE_ALL (the dev and asan presets set it) makes that line an error.
option(TT_REQUIRE_ALL "Fail the configure step when an optional dependency is missing" OFF)

# tt_missing(OPTION PACKAGE TEXT): TEXT says what is missing and what is left out.
function(tt_missing option package text)
  set(line "${text} (apt-get install ${package}; -D${option}=OFF leaves it out)")
  if(TT_REQUIRE_ALL)
    message(FATAL_ERROR "${line}; TT_REQUIRE_ALL=ON requires it")
  endif()
  message(STATUS "${line}")
endfunction()

# tt_find_tool(OPTION VAR PROGRAM PACKAGE TEXT): OPTION goes off without PROGRAM.
macro(tt_find_tool option var program package text)
  if(${option})
    find_program(${var} ${program})
    if(NOT ${var})
      tt_missing(${option} ${package} "${text}")
      set(${option} OFF)
    endif()
  endif()
endmacro()

if(NOT WIN32)
  if(TT_BUILD_QT)
    find_package(Qt6 6.2 QUIET COMPONENTS Widgets)
    if(NOT Qt6_FOUND)
      tt_missing(TT_BUILD_QT qt6-base-dev "Qt 6 Widgets not found: the Qt dialog is not built")
      set(TT_BUILD_QT OFF)
    endif()
  endif()
  if(TT_BUILD_TESTS)
    find_package(GTest QUIET)
    if(NOT GTest_FOUND)
      tt_missing(TT_BUILD_TESTS libgtest-dev "GoogleTest not found: the tests are not built")
      set(TT_BUILD_TESTS OFF)
    endif()
  endif()
  tt_find_tool(TT_BUILD_MAN TT_HELP2MAN help2man help2man
               "help2man not found: smftempo gets no man page")
  tt_find_tool(TT_TRANSLATIONS TT_MSGFMT msgfmt gettext
               "msgfmt not found: smftempo speaks English only")
  tt_find_tool(TT_PACKAGE_DEB TT_DPKG_SHLIBDEPS dpkg-shlibdeps dpkg-dev
               "dpkg-shlibdeps not found: cpack builds no Debian package")
endif()
