# An include root of its own for a chosen set of headers: a folder in the build tree that holds a
# link to each header, under its path relative to `base`. A target given only this root can
# include those headers and nothing else that lies beside them in the source tree, so which
# layer may include what is decided by the build, not by a comment.
function(quenfold_include_root root base)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(header ${ARGN})
    file(RELATIVE_PATH name ${base} ${header})
    get_filename_component(folder ${root}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${header} ${root}/${name} SYMBOLIC)
  endforeach()
endfunction()
