# Include roots per target. Sources include headers by their path from the repository root
# ("search/Wildcard.h"), but the repository root itself is on no target's include path: it would let any file
# reach any header, a Qt window or a Linux adapter from core code among them. Instead each library publishes
# the headers it owns under an include root of its own in the build tree, and a target sees exactly the
# headers of the libraries it links. A core file that includes "platform/linux/..." or "app/ui/..." then fails
# to compile with "No such file or directory", and one that includes a header of a library it does not link
# fails the same way.
#
# vask_headers(<target> <PUBLIC|INTERFACE|PRIVATE> <header>...)
#   Publishes the headers (paths relative to the calling folder, or absolute) under
#   <build>/include/<target>/<path from the repository root> and adds that root to the target's include
#   directories with the given scope. Each published file is a one-line forwarder to the real header, written
#   relative to itself so that its text is the same in every checkout (the shared compiler cache keeps hitting)
#   and diagnostics still lead to the real file. Forwarders of headers no longer listed are removed.
#   Pass the headers from file(GLOB ... CONFIGURE_DEPENDS) so that a new header re-runs the configuration.
function(vask_headers target scope)
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  set(written "")
  foreach(header IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH header BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE real)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${real}" NORMALIZE inside)
    if(NOT inside OR NOT EXISTS "${real}")
      message(FATAL_ERROR "vask_headers(${target}): ${header} is not a header of this repository")
    endif()
    file(RELATIVE_PATH shown "${PROJECT_SOURCE_DIR}" "${real}")
    set(forwarder "${root}/${shown}")
    cmake_path(GET forwarder PARENT_PATH folder)
    file(RELATIVE_PATH back "${folder}" "${real}")
    # Written only when its text changes, so a re-run of the configuration rebuilds nothing.
    file(CONFIGURE OUTPUT "${forwarder}" CONTENT "#include \"${back}\"\n" @ONLY)
    list(APPEND written "${forwarder}")
  endforeach()
  file(GLOB_RECURSE stale LIST_DIRECTORIES false "${root}/*")
  if(written)
    list(REMOVE_ITEM stale ${written})
  endif()
  if(stale)
    file(REMOVE ${stale})
  endif()
  target_include_directories(${target} ${scope} "${root}")
endfunction()
