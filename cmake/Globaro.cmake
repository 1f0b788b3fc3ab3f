# Shared build helpers.

# Our own code builds without warnings. The team's scripts and CI make them
# errors; a user's build with another compiler or build type only shows them.
option(GLOBARO_WERROR "Treat compiler warnings as errors" OFF)
function(globaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(GLOBARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
    # GCC 12 at -O3 reports overlapping copies inside std::string's own
    # concatenation that cannot happen (GCC bug 105651); they stay warnings.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
  endif()
endfunction()

# Code generation for every target. The math library's error reporting through
# errno is never read here, and keeping it would stop the compiler from
# inlining sqrt and friends in the per-sample paths. The instruction-set
# baseline (SSE4.2, POPCNT: every x86-64 processor since about 2009) gives the
# renderer rounding and shuffle instructions; set GLOBARO_ARCH to "" to build
# for the plain x86-64 baseline, or to "native" for the build machine alone.
set(GLOBARO_ARCH "x86-64-v2" CACHE STRING "Target instruction set (-march), empty for the compiler's default")
add_compile_options(-fno-math-errno)
if(GLOBARO_ARCH AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_compile_options(-march=${GLOBARO_ARCH})
endif()

if(GLOBARO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(GLOBARO_SANITIZED=1)
endif()

# Adds every .cpp file of the calling folder to `target`. Each subsystem folder
# owns its own list this way, so that adding a file touches nothing else.
function(globaro_add_folder_sources target)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  target_sources(${target} PRIVATE ${_sources})
endfunction()

# A folder's own library: every .cpp file of the calling folder, built with
# the project's warnings, linked with the libraries of the folders it may use
# and nothing else. MAY_INCLUDE names those folders (each one's library is
# globaro_<folder>); configuring fails when a file of the folder includes a
# header of any other folder of ours, so that the folder picture in
# docs/architecture.md stays true.
set(GLOBARO_FOLDERS geometry platform settings polyhedra projection render export host app)
function(globaro_folder_library folder)
  cmake_parse_arguments(PARSE_ARGV 1 _arg "" "" "MAY_INCLUDE;LINK")
  set(_target globaro_${folder})
  add_library(${_target} STATIC)
  globaro_add_folder_sources(${_target})
  target_include_directories(${_target} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(_dep IN LISTS _arg_MAY_INCLUDE)
    target_link_libraries(${_target} PUBLIC globaro_${_dep})
  endforeach()
  target_link_libraries(${_target} PUBLIC ${_arg_LINK})
  globaro_warnings(${_target})
  globaro_check_folder_includes(${folder} ${_arg_MAY_INCLUDE})
endfunction()

# Fails the configuration when a file of the calling folder includes a header
# of one of our folders other than itself and the ones listed.
function(globaro_check_folder_includes folder)
  set(_allowed ${folder} ${ARGN})
  file(GLOB _files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.inc)
  foreach(_file IN LISTS _files)
    file(STRINGS ${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(_line IN LISTS _lines)
      string(REGEX REPLACE "^[^\"]*\"([a-z_]+)/.*$" "\\1" _used "${_line}")
      if(_used IN_LIST GLOBARO_FOLDERS AND NOT _used IN_LIST _allowed)
        string(JOIN ", " _allowed_text ${_allowed})
        message(FATAL_ERROR "${_file} includes ${_used}/, which ${folder}/ may not use "
                            "(it may use: ${_allowed_text})")
      endif()
    endforeach()
  endforeach()
endfunction()
