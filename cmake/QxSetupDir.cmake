# cmake -DDIR=dir -DFILES="lib1|lib2|..." -P QxSetupDir.cmake
# Copies each library into DIR (when it changed) with the run path $ORIGIN,
# so that the copies find each other there and nothing in the build tree.
string(REPLACE "|" ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  set(target ${DIR}/${name})
  if(EXISTS ${target} AND NOT ${file} IS_NEWER_THAN ${target})
    continue()
  endif()
  file(COPY_FILE ${file} ${target})
  set(runpath "")
  file(READ_ELF ${target} RUNPATH runpath)
  if(runpath)
    file(RPATH_SET FILE ${target} NEW_RPATH "$ORIGIN")
  endif()
endforeach()
