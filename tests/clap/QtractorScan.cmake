# Runs Qtractor's plug-in scanner on the .clap and requires it to list the
# plug-in with 2 inputs, 2 outputs, 7 parameters (the six controls and the bypass) and an editor (GUI).
# -DSCAN=<qtractor_plugin_scan> -DCLAP=<Tonarvo.clap> -DWORK=<folder>
file(WRITE ${WORK}/qtractor-scan-input.txt "CLAP:${CLAP}\n")
execute_process(COMMAND ${SCAN} INPUT_FILE ${WORK}/qtractor-scan-input.txt
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
message(STATUS "qtractor_plugin_scan said:\n${out}")
string(REGEX MATCH "CLAP\\|[^|\n]+\\|2:2\\|[^|\n]*\\|7:[0-9]+\\|[^|\n]*GUI[^|\n]*\\|${CLAP}\\|0\\|" line "${out}")
if(NOT rc EQUAL 0 OR line STREQUAL "")
  message(FATAL_ERROR "Qtractor's scanner did not list Tonarvo.clap as 2:2 with 7 parameters and a GUI (exit ${rc}):\n${out}\n${err}")
endif()
