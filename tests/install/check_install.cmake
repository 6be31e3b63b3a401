# Installs the build into a scratch prefix and checks that the programs and their manual pages
# land where GNUInstallDirs puts them, and that the installed programs run.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DBINDIR=bin -DMANDIR=share/man -DDOCDIR=share/doc/<project>
#         -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
foreach(program Korva32 Nuvrel32 Lisdor32)
  set(binary "${PREFIX}/${BINDIR}/${program}")
  if(NOT EXISTS "${binary}")
    message(FATAL_ERROR "${binary} not installed")
  endif()
  # The usage text ends every program with code 0.
  execute_process(COMMAND "${binary}" -? RESULT_VARIABLE ran OUTPUT_VARIABLE usage ERROR_QUIET)
  if(NOT ran EQUAL 0 OR NOT usage MATCHES "Usage:")
    message(FATAL_ERROR "${binary} -? gave ${ran}: ${usage}")
  endif()
  set(page "${PREFIX}/${MANDIR}/man1/${program}.1")
  if(NOT EXISTS "${page}")
    message(FATAL_ERROR "${page} not installed")
  endif()
  string(TOUPPER "${program}" title)
  file(STRINGS "${page}" heading LIMIT_COUNT 1)
  if(NOT heading MATCHES "^\\.TH ${title} 1 ")
    message(FATAL_ERROR "${page} does not begin with its .TH line: ${heading}")
  endif()
endforeach()
if(NOT EXISTS "${PREFIX}/${DOCDIR}/examples/election/korva.cfg")
  message(FATAL_ERROR "the sample election is not installed")
endif()
file(REMOVE_RECURSE "${PREFIX}")
