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

# Include roots. Each module of src/ (structs, scan, ui_struct, ui, main) is seen only through
# its own root, a directory holding one link to the module's folder, so a module can include
# only the modules it links; an include that skips the layering fails to compile. The lower
# layers, src/platform and src/widgets, are below every module and share one root.
set(sparvik_include_roots ${PROJECT_BINARY_DIR}/include)
set(sparvik_lower_root ${sparvik_include_roots}/lower)
foreach(lower platform widgets)
  file(MAKE_DIRECTORY ${sparvik_lower_root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${lower} ${sparvik_lower_root}/${lower} SYMBOLIC)
endforeach()

# The include root a target publishes: its module's own root, the lower layers' shared root, or
# none for tests, benchmarks and fuzz targets (they see what they link).
function(sparvik_include_root target out)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/src ${dir})
  string(REGEX MATCH "^[^/]+" folder "${rel}")
  if(NOT folder OR folder STREQUAL "..")
    set(${out} "" PARENT_SCOPE)
  elseif(folder STREQUAL "platform" OR folder STREQUAL "widgets")
    set(${out} ${sparvik_lower_root} PARENT_SCOPE)
  else()
    set(root ${sparvik_include_roots}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    set(${out} ${root} PARENT_SCOPE)
  endif()
endfunction()

# Every project target links the shared settings and publishes its include root.
function(sparvik_target target)
  sparvik_include_root(${target} root)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    if(root)
      target_include_directories(${target} INTERFACE ${root})
    endif()
  else()
    target_link_libraries(${target} PRIVATE sparvik_options)
    if(root)
      target_include_directories(${target} PUBLIC ${root})
    endif()
  endif()
endfunction()
