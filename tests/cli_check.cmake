# Runs COMMAND with ARGS (a list) and fails unless it exits with EXIT and passes every
# check below that is given. In texts and patterns a written \n stands for a newline.
#   STDOUT_TEXT    exact stdout; or STDOUT_FILE, a file holding it.
#   STDOUT_REGEX   pattern stdout must match; STDERR_REGEX the same for stderr.
#   OUT            a result file, removed before the run, or first written with BEFORE.
#   KEPT=ON        OUT must come out unchanged (or, without BEFORE, absent); without KEPT
#                  OUT must exist and match OUT_REGEX.
#   WORK           a folder made fresh for the run and removed again when all checks pass.
#   FILES          with WORK: exactly the paths the run must leave there, relative to it,
#                  comma-separated, folders included; none when not given.
#   CHECK_FILE     a file in WORK that must hold exactly CHECK_TEXT.
#   SCENE          with WORK: a scene copied there first, beside plane_points.obj holding
#                  OBJ_TEXT; these inputs do not count as left by the run.

function(expect_match what text pattern)
  string(REPLACE "\\n" "\n" pattern "${pattern}")
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what} does not match ${pattern}:\n${text}")
  endif()
endfunction()

function(expect_equal what text expected)
  string(REPLACE "\\n" "\n" expected "${expected}")
  if(NOT text STREQUAL expected)
    message(FATAL_ERROR "${what} differs.\n--- expected\n${expected}\n--- got\n${text}")
  endif()
endfunction()

# Before the run: the result file and the work folder.
if(DEFINED OUT)
  if(DEFINED BEFORE)
    string(REPLACE "\\n" "\n" BEFORE "${BEFORE}")
    file(WRITE ${OUT} "${BEFORE}")
  else()
    file(REMOVE ${OUT})
  endif()
endif()
if(DEFINED WORK)
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK})
  if(DEFINED SCENE)
    file(COPY ${SCENE} DESTINATION ${WORK})
    string(REPLACE "\\n" "\n" OBJ_TEXT "${OBJ_TEXT}")
    file(WRITE ${WORK}/plane_points.obj "${OBJ_TEXT}")
  endif()
  file(GLOB_RECURSE inputs LIST_DIRECTORIES true RELATIVE ${WORK} ${WORK}/*)
endif()

execute_process(COMMAND ${COMMAND} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL EXIT)
  message(FATAL_ERROR "exit code ${status}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()

# The output streams.
if(DEFINED STDOUT_FILE)
  file(READ ${STDOUT_FILE} STDOUT_TEXT)
endif()
if(DEFINED STDOUT_TEXT)
  expect_equal(stdout "${out}" "${STDOUT_TEXT}")
endif()
if(DEFINED STDOUT_REGEX)
  expect_match(stdout "${out}" "${STDOUT_REGEX}")
endif()
if(DEFINED STDERR_REGEX)
  expect_match(stderr "${err}" "${STDERR_REGEX}")
endif()

# The result file.
if(DEFINED OUT)
  if(KEPT AND NOT DEFINED BEFORE)
    if(EXISTS ${OUT})
      message(FATAL_ERROR "a result was written for a refused run")
    endif()
  else()
    file(READ ${OUT} after)
    if(KEPT)
      expect_equal("the earlier result" "${after}" "${BEFORE}")
    else()
      expect_match(result "${after}" "${OUT_REGEX}")
    endif()
  endif()
endif()

# The work folder.
if(DEFINED WORK)
  file(GLOB_RECURSE left LIST_DIRECTORIES true RELATIVE ${WORK} ${WORK}/*)
  if(inputs)
    list(REMOVE_ITEM left ${inputs})
  endif()
  list(SORT left)
  string(REPLACE "," ";" expected "${FILES}")
  list(SORT expected)
  if(NOT "${left}" STREQUAL "${expected}")
    message(FATAL_ERROR "the run left [${left}] in ${WORK}, expected [${expected}]\nstderr:\n${err}")
  endif()
  if(DEFINED CHECK_FILE)
    file(READ ${WORK}/${CHECK_FILE} written)
    expect_equal(${CHECK_FILE} "${written}" "${CHECK_TEXT}")
  endif()
  file(REMOVE_RECURSE ${WORK})
endif()
