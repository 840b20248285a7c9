# No target sees the whole source tree. A library states which headers others
# reach: the platform libraries put their public ones under include/, and a
# folder may hand out its own headers by their folder path ("avi_build/make_avi.h")
# through sw_folder_headers, which exposes that folder and nothing beside it.

# Makes the headers of the source folder FOLDER (relative to the project,
# e.g. "avi_build" or "tests/support") reachable as "FOLDER/name.h" by TARGET,
# with SCOPE PUBLIC, PRIVATE or INTERFACE as in target_include_directories.
# The build tree holds a link named after the folder, so the include path
# reaches that one folder.
function(sw_folder_headers target scope folder)
  string(MAKE_C_IDENTIFIER "${folder}" key)
  set(root "${PROJECT_BINARY_DIR}/folder_headers/${key}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} ${scope} "${root}")
endfunction()
