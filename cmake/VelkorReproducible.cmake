# Builds that depend on their content only: two builds of one commit give byte-identical
# programs, whatever directory they are built in.

# No build paths in the objects (debug information, __FILE__): the source tree reads as ".",
# the build tree as "build". The build-tree map comes last, so it wins where the build tree
# lies inside the source tree.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)

# Archives without timestamps, owners or modes (Debian's binutils default; said explicitly for
# other binutils).
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

# A PE header holds the link time unless told not to.
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
