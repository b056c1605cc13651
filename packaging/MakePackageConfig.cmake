# Makes the packaged /etc/tavo/tavo.ini from the example configuration, so the
# two keep the same clients and comments:
#   cmake -DEXAMPLE=examples/tavo.ini -DOUTPUT=tavo.ini -P MakePackageConfig.cmake
# The receiver moves to the standard trap port, the log to /var/log/tavo, and
# the SNMPv3 passwords go (the built-in ones apply, with a warning at every
# start, until the operator sets them). A line the example no longer has
# fails the build rather than shipping a file half made.

cmake_minimum_required(VERSION 3.25)

# The INI file's comment character is CMake's list separator: it stands in
# for itself as \x01 while the text is edited.
string(ASCII 1 kSemicolon)
file(READ "${EXAMPLE}" text)
string(REPLACE ";" "${kSemicolon}" text "${text}")

# replace(<regex> <replacement>): exactly one match, or the build fails.
function(replace aRegex aReplacement)
  string(REPLACE ";" "${kSemicolon}" regex "${aRegex}")
  string(REPLACE ";" "${kSemicolon}" replacement "${aReplacement}")
  string(REGEX MATCHALL "${regex}" found "${text}")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${EXAMPLE}: expected one match of \"${aRegex}\", found ${count}")
  endif()
  string(REGEX REPLACE "${regex}" "${replacement}" result "${text}")
  set(text "${result}" PARENT_SCOPE)
endfunction()

# The opening comment speaks of the demo; the installed file has its own.
replace("^(;[^\n]*\n)+"
"; Tavo's configuration, read by the service ORVO_Tavo at its start:
;   /usr/bin/tavo --config /etc/tavo/tavo.ini
; Upgrades keep the changes made here. Check them before a restart with
;   tavo --check --config /etc/tavo/tavo.ini
; Templates resolve against this folder; the log is /var/log/tavo/tavo.log.
; The client and the mail recipient below are the demo's: put your own in.
")
replace("\n\\[Logging\\]\n"
"\n[Logging]
; The log folder, made by the package (an absent folder puts the log beside
; this file).
Directory=/var/log/tavo
")
replace("\nPort=55162\n" "\nPort=162\n")
replace("\nUserPassword=[^\n]*\nPrivacyPassword=[^\n]*\n"
"
; Set both SNMPv3 passwords here, the ones your senders use (8 characters at
; least). Until they are set the receiver uses the built-in ones, which
; everyone who has read the example knows, and says so at every start.
;UserPassword=
;PrivacyPassword=
")

string(REPLACE "${kSemicolon}" ";" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
