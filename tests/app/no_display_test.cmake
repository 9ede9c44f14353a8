# The window program without a display: the help and the version print, anything else is refused.
function(expect code out err)
  execute_process(COMMAND ${PROGRAM} ${ARGN} RESULT_VARIABLE got_code OUTPUT_VARIABLE got_out
                  ERROR_VARIABLE got_err TIMEOUT 30)
  if(NOT got_code STREQUAL code OR NOT got_out MATCHES "${out}" OR NOT got_err STREQUAL err)
    message(FATAL_ERROR "quorvale ${ARGN}: exit ${got_code}\nout: ${got_out}\nerr: ${got_err}")
  endif()
endfunction()
expect(0 "^quorvale ${VERSION}\n$" "" --version)
expect(0 "^Usage: quorvale \\[--help \\| --version\\]\n.*  --version  affiche la version\n$" "" --help)
expect(1 "^$" "quorvale: aucun affichage graphique (DISPLAY ou WAYLAND_DISPLAY)\n")
