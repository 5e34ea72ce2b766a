# Shared compile settings, linked privately by every target of the project.
add_library(sparvik_warnings INTERFACE)
target_compile_options(sparvik_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
# Off by default so that a newer compiler's new warning never breaks a user's build; the test
# script turns it on.
if(SPARVIK_WARNINGS_AS_ERRORS)
  target_compile_options(sparvik_warnings INTERFACE -Werror)
endif()

add_library(sparvik_sanitizers INTERFACE)
if(SPARVIK_SANITIZER)
  target_compile_options(sparvik_sanitizers INTERFACE
    -fsanitize=${SPARVIK_SANITIZER} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(sparvik_sanitizers INTERFACE -fsanitize=${SPARVIK_SANITIZER})
endif()

add_library(sparvik_options INTERFACE)
target_link_libraries(sparvik_options INTERFACE sparvik_warnings sparvik_sanitizers)

# Every project target links this; the include root is src/.
function(sparvik_target target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
  else()
    target_link_libraries(${target} PRIVATE sparvik_options)
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  endif()
endfunction()
