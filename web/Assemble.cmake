# Puts the core's module, the worker's script and the page's scripts into
# the page, in place of /*@CORE@*/, /*@WORKER@*/ and /*@SCRIPT@*/: one file,
# nothing loaded from outside.
cmake_minimum_required(VERSION 3.25)
file(READ ${PAGE} page)
file(READ ${CORE} core)
file(READ ${WORKER} worker)
set(script "")
string(REPLACE "|" ";" SCRIPTS "${SCRIPTS}")
foreach(part IN LISTS SCRIPTS)
  file(READ ${part} text)
  string(APPEND script "${text}")
endforeach()
string(REPLACE "/*@CORE@*/" "${core}" page "${page}")
string(REPLACE "/*@WORKER@*/" "${worker}" page "${page}")
string(REPLACE "/*@SCRIPT@*/" "${script}" page "${page}")
file(WRITE ${OUT} "${page}")
