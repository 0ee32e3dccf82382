# Removes what an install from this build wrote, as its manifest lists it, and then the folders
# that leaves empty below the install's prefix (the prefix itself stays):
#   cmake --build BUILD --target uninstall
#   cmake -DMANIFEST=BUILD/install_manifest.txt -P cmake/uninstall.cmake
# The manifest names the files without DESTDIR: an install into a DESTDIR is removed with the
# same DESTDIR in the environment.
if(NOT MANIFEST)
  set(MANIFEST install_manifest.txt)
endif()
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} not found: nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" listed)
set(installed)
foreach(path IN LISTS listed)
  list(APPEND installed "$ENV{DESTDIR}${path}")
endforeach()

# The prefix is the folder above the application's bin/, whatever --prefix the install was given.
set(prefix "")
foreach(path IN LISTS installed)
  if(path MATCHES "^(.+)/bin/varnelusage$")
    set(prefix "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(folders)
foreach(path IN LISTS installed)
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    file(REMOVE "${path}")
  endif()
  get_filename_component(folder "${path}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES folders)

# Each folder and its parents while they are empty and below the prefix.
foreach(folder IN LISTS folders)
  while(prefix AND IS_DIRECTORY "${folder}")
    string(FIND "${folder}" "${prefix}/" at)
    if(NOT at EQUAL 0)
      break()
    endif()
    file(GLOB entries LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
    list(FILTER entries EXCLUDE REGEX "/\\.\\.?$")
    if(entries)
      break()
    endif()
    file(REMOVE_RECURSE "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
