# Runs norvane-catalogue once and compares its exit code and standard output
# byte for byte with the expected ones.
#   TOOL, EMULATOR (may be empty), DATA (working folder), ARGS ('|'-separated),
#   EXPECT_RC, EXPECT (file with the expected output; absent: no output).
#   COPY_FROM, COPY_TO (optional): DATA/COPY_FROM is first copied to COPY_TO,
#   a path of its own, whose folder then becomes the working folder.
string(REPLACE "|" ";" args "${ARGS}")
set(workdir ${DATA})
if(COPY_FROM)
  get_filename_component(workdir "${COPY_TO}" DIRECTORY)
  file(REMOVE_RECURSE "${workdir}")
  file(MAKE_DIRECTORY "${workdir}")
  file(COPY_FILE "${DATA}/${COPY_FROM}" "${COPY_TO}")
endif()
execute_process(
  COMMAND ${EMULATOR} ${TOOL} ${args}
  WORKING_DIRECTORY ${workdir}
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc)
set(expected "")
if(EXISTS "${EXPECT}")
  file(READ "${EXPECT}" expected)
endif()
if(NOT "${rc}" STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "exit code ${rc}, expected ${EXPECT_RC}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(NOT "${out}" STREQUAL "${expected}")
  message(FATAL_ERROR "output differs\n--- got:\n${out}\n--- expected:\n${expected}\nstderr:\n${err}")
endif()
