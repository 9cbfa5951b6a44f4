# Writes the man pages korvo.1 and korvo-cli.1 into OUTDIR. korvo-cli's page
# is made of the program's own --help texts (the general one and each
# command's), run here at build time, so the two never drift apart.
#   cmake -DCLI=path/to/korvo-cli -DVERSION=x.y.z -DOUTDIR=dir -P ManPages.cmake

# Help text as roff lines shown as they stand: backslashes escaped, a line
# that starts with a dot or quote kept from being read as a request.
function(roff_literal text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(help_of out)
  execute_process(COMMAND ${CLI} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "korvo-cli ${ARGN} failed (${status})")
  endif()
  roff_literal("${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE general RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "korvo-cli --help failed (${status})")
endif()
# The commands are the indented lines under "Commands:".
string(REGEX MATCHALL "\n  [a-z]+ " lines "${general}")
set(commands "")
foreach(line ${lines})
  string(STRIP "${line}" name)
  list(APPEND commands ${name})
endforeach()

help_of(main_help --help)
set(page ".TH KORVO\\-CLI 1 \"\" \"korvo ${VERSION}\" \"User Commands\"
.SH NAME
korvo\\-cli \\- scan, export, pack and move folders from a terminal
.SH SYNOPSIS
.B korvo\\-cli
.I COMMAND
.RI [ OPTIONS ]
\\&...
.br
.B korvo\\-cli \\-\\-help
.br
.B korvo\\-cli \\-\\-version
.SH DESCRIPTION
korvo\\-cli runs the scanning, export and packaging engine of
.BR korvo (1)
without its window.
.PP
.nf
${main_help}.fi
.SH COMMANDS
")
foreach(command ${commands})
  help_of(help ${command} --help)
  string(APPEND page ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND page ".SH SEE ALSO
.BR korvo (1),
.BR sha256sum (1)
")
file(WRITE ${OUTDIR}/korvo-cli.1 "${page}")

file(WRITE ${OUTDIR}/korvo.1 ".TH KORVO 1 \"\" \"korvo ${VERSION}\" \"User Commands\"
.SH NAME
korvo \\- inventory a folder and split it into size\\-limited packages
.SH SYNOPSIS
.B korvo
.RI [ FOLDER ]
.SH DESCRIPTION
.B korvo
opens a window (in Japanese) on which a folder, or a file standing for the
folder that holds it, is dropped, or which opens one from its File menu
(Ctrl+O).
A background thread walks the whole tree and records every file's and
folder's name, path, times, size and size on disk, with per\\-folder counts
and totals.
From that inventory the folder can be exported as a text tree drawing or an
XML listing, and its top\\-level items can be split into packages that each
fit a size limit, then moved into numbered folders, all or nothing per
package.
.PP
Given
.IR FOLDER ,
the window starts scanning it at once, as if it had been dropped: a file
stands for the folder that holds it.
This is how a file manager's \\(lqOpen with\\(rq and the desktop entry start it.
The same engine runs from a terminal as
.BR korvo\\-cli (1).
.SH FILES
.TP
.I korvo.ini\\fR, \\fIdata/*.ini
The window's geometry and the package sizes and labels of your own, kept
beside the executable when its folder can be written (a portable copy or a
build folder), else in the user's configuration folder,
.IR ~/.config/korvo/ .
.SH SEE ALSO
.BR korvo\\-cli (1)
")
