# Readies wine for the end-to-end tests.
#
# 1. Starts the wine server and its service processes with their standard
#    streams on /dev/null. Wine starts them on first need from whichever
#    program needs them, and they inherit that program's streams: started
#    from a test, they would hold CTest's output pipe open, and CTest would
#    wait for it until the test timed out. The server stays up for a while
#    after the last program ends, so the tests that follow find them running.
# 2. Maps a free drive letter of the wine prefix to TARGET_DIR (a dosdevices
#    link) and writes the letter to LETTER_FILE, so the tests have a second
#    drive. A letter already linked to TARGET_DIR is reused; letters in use
#    for anything else are left alone.
#
#   cmake -DTARGET_DIR=... -DLETTER_FILE=... -P e2e_setup.cmake
if(DEFINED ENV{WINEPREFIX} AND NOT "$ENV{WINEPREFIX}" STREQUAL "")
  set(prefix "$ENV{WINEPREFIX}")
else()
  set(prefix "$ENV{HOME}/.wine")
endif()
set(quiet INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
find_program(WINESERVER wineserver REQUIRED)
find_program(WINEBOOT wineboot REQUIRED)
execute_process(COMMAND ${WINESERVER} -p60 ${quiet})
execute_process(COMMAND ${WINEBOOT} ${quiet} RESULT_VARIABLE rc)
if(NOT IS_DIRECTORY "${prefix}/dosdevices")
  message(FATAL_ERROR "no wine prefix at ${prefix} (wineboot: ${rc})")
endif()
file(MAKE_DIRECTORY "${TARGET_DIR}")
foreach(letter d e f g h i j k l m n o p q r s t u v w x y)
  set(link "${prefix}/dosdevices/${letter}:")
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" dest)
    if(NOT dest STREQUAL TARGET_DIR)
      continue()
    endif()
  elseif(EXISTS "${link}")
    continue()
  else()
    file(CREATE_LINK "${TARGET_DIR}" "${link}" SYMBOLIC)
  endif()
  string(TOUPPER "${letter}" upper)
  file(WRITE "${LETTER_FILE}" "${upper}")
  message(STATUS "drive ${upper}: is ${TARGET_DIR}")
  return()
endforeach()
message(FATAL_ERROR "no free drive letter in ${prefix}/dosdevices")
