# Puts the core's module and the page's scripts into the page, in place of
# /*@CORE@*/ and /*@SCRIPT@*/: one file, nothing loaded from outside.
cmake_minimum_required(VERSION 3.25)
file(READ ${PAGE} page)
file(READ ${CORE} core)
set(script "")
string(REPLACE "|" ";" SCRIPTS "${SCRIPTS}")
foreach(part IN LISTS SCRIPTS)
  file(READ ${part} text)
  string(APPEND script "${text}")
endforeach()
string(REPLACE "/*@CORE@*/" "${core}" page "${page}")
string(REPLACE "/*@SCRIPT@*/" "${script}" page "${page}")
file(WRITE ${OUT} "${page}")
