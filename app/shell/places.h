// Where the program finds its manual and keeps its configuration.  A built
// program (or a copy of it in a folder of its own) has everything beside
// itself; an installed one lies in the GNU layout, the program in
// <prefix>/bin and its data (the manual with its images) in
// <prefix>/share/kalmira, and keeps its settings in the user's configuration
// folder, as every installed program does.
#pragma once

#include <string>

// True when the program runs from an installation: its data folder lies
// where the installation puts it, relative to the program.  The folder is
// the program's own, so no other package's files can make a copy of the
// program in some bin folder look installed, and a system that leaves out
// the documentation folders still has it.
bool ProgramInstalled();

// The manual's file: beside the program, else in the installation's data
// folder; "" when there is none.
std::string ManualPath();
