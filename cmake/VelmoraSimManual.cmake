# Makes the manual page of velmora-sim from its own help: the top-level
# --help and --version through help2man, and each command's help (walked
# from the parser by the tool itself) as a COMMANDS section, so the page
# cannot say anything the tool does not.
# cmake -DSIM=path/to/velmora-sim -DOUTPUT=velmora-sim.1 -DWORK=dir -P this file
foreach(variable SIM OUTPUT WORK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "VelmoraSimManual.cmake needs -D${variable}=")
  endif()
endforeach()
find_program(HELP2MAN help2man REQUIRED)

execute_process(COMMAND ${SIM} completion commands OUTPUT_VARIABLE commands RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "${SIM} completion commands failed")
endif()
string(REPLACE "\n" ";" commands "${commands}")
set(include "[COMMANDS]\n")
foreach(command IN LISTS commands)
  if(command STREQUAL "")
    continue()
  endif()
  separate_arguments(words UNIX_COMMAND "${command}")
  execute_process(COMMAND ${SIM} help ${words} OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(result)
    message(FATAL_ERROR "${SIM} help ${command} failed")
  endif()
  # roff: a leading dot or quote would be read as a request; backslashes as escapes.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND include ".SS velmora-sim ${command}\n.nf\n${help}.fi\n")
endforeach()
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/commands.h2m "${include}")
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1
                        --name "the simulated SpringBoard for the Velmora widget and its companion"
                        --include ${WORK}/commands.h2m --output ${OUTPUT}.partial ${SIM}
                RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "help2man could not make ${OUTPUT}")
endif()
file(RENAME ${OUTPUT}.partial ${OUTPUT})
