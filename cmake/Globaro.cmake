# Shared build helpers.

# Our own code builds without warnings.
function(globaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(GLOBARO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds every .cpp file of the calling folder to `target`. Each subsystem folder
# owns its own list this way, so that adding a file touches nothing else.
function(globaro_add_folder_sources target)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  target_sources(${target} PRIVATE ${_sources})
endfunction()
