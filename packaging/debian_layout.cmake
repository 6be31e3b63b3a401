# Run by `cpack -G DEB` over the staged installation, before it becomes the package: Debian wants
# the manual pages gzipped and a changelog.gz beside the copyright file. A plain `cmake --install`
# keeps the pages as they are, where man reads them too.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/changelog" "${root}/${CPACK_KELVANOTH_DOCDIR}/changelog" COPYONLY)
file(GLOB pages "${root}/${CPACK_KELVANOTH_MANDIR}/man1/*.1")
foreach(file IN LISTS pages ITEMS "${root}/${CPACK_KELVANOTH_DOCDIR}/changelog")
  # -n: no name or time stamp inside, so the same sources give the same package.
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE zipped)
  if(NOT zipped EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${zipped}")
  endif()
endforeach()
