# Provides the imported target wx::wx: the static wxWidgets MSW libraries from
# the cache for the Windows builds, Debian's wxGTK for the native build.

if(WIN32)
  set(TVDDS_WX_PREFIX "" CACHE PATH "Static wxWidgets MSW installation for this target")
  # Not a cached search: the prefix changes with the cache key of the build.
  set(wx_config "${TVDDS_WX_PREFIX}/bin/wx-config")
  if(NOT EXISTS "${wx_config}")
    message(FATAL_ERROR "No wx-config below TVDDS_WX_PREFIX='${TVDDS_WX_PREFIX}'; run scripts/setup.sh")
  endif()
  execute_process(COMMAND ${wx_config} --static=yes --unicode=yes --cxxflags
                  OUTPUT_VARIABLE wx_cxxflags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${wx_config} --static=yes --unicode=yes --libs base,core
                  OUTPUT_VARIABLE wx_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(wx_cxxflags UNIX_COMMAND "${wx_cxxflags}")
  separate_arguments(wx_libs UNIX_COMMAND "${wx_libs}")

  set(wx_includes "")
  set(wx_defines "")
  set(wx_options "")
  foreach(flag IN LISTS wx_cxxflags)
    if(flag MATCHES "^-I(.*)")
      list(APPEND wx_includes "${CMAKE_MATCH_1}")
    elseif(flag MATCHES "^-D(.*)")
      list(APPEND wx_defines "${CMAKE_MATCH_1}")
    else()
      list(APPEND wx_options "${flag}")
    endif()
  endforeach()
  # The subsystem flags are the executable's business (add_executable WIN32).
  list(FILTER wx_libs EXCLUDE REGEX "^-mwindows$|^-Wl,--subsystem,windows$")

  add_library(wx::wx INTERFACE IMPORTED)
  # The include paths and defines reach the resource compiler too, which
  # needs them for wx/msw/wx.rc.
  target_include_directories(wx::wx INTERFACE ${wx_includes})
  target_compile_definitions(wx::wx INTERFACE ${wx_defines})
  target_compile_options(wx::wx INTERFACE $<$<COMPILE_LANGUAGE:CXX>:${wx_options}>)
  target_link_libraries(wx::wx INTERFACE ${wx_libs})
  # A bare Windows machine has no MinGW runtime DLLs.
  target_link_options(wx::wx INTERFACE -static -static-libgcc -static-libstdc++)
else()
  find_package(wxWidgets 3.2 REQUIRED COMPONENTS core base)
  add_library(wx::wx INTERFACE IMPORTED)
  target_include_directories(wx::wx SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(wx::wx INTERFACE ${wxWidgets_DEFINITIONS})
  target_compile_options(wx::wx INTERFACE ${wxWidgets_CXX_FLAGS})
  target_link_libraries(wx::wx INTERFACE ${wxWidgets_LIBRARIES})
endif()
