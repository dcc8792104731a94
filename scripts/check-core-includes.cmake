# Refuses a core source that includes Qt or a Linux adapter: the core reaches the system only through the
# ports in platform/. Run at every build before the core libraries (see the root CMakeLists.txt).
#   cmake -DSOURCE_DIR=<repository root> -P check-core-includes.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check-core-includes: SOURCE_DIR not set")
endif()

set(core_folders settings search disposal patterns app/core)
set(offences "")
foreach(folder IN LISTS core_folders)
  # Only the folder's own files: settings/ui and patterns/ui are Qt windows and may include Qt.
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      # A path with ".." would climb past the include roots that keep the adapters out of reach.
      if(line MATCHES "#[ \t]*include[ \t]*[<\"](Q[A-Za-z0-9_]*(/|>|\"|$)|platform/linux/|[^>\"]*\\.\\.)")
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
        string(STRIP "${line}" line)
        list(APPEND offences "${shown}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(offences)
  list(JOIN offences "\n  " text)
  message(FATAL_ERROR "Core code must not include Qt, a Linux adapter or a path through \"..\" (use a port in platform/):\n  ${text}")
endif()
