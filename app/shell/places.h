// Where the program finds its manual and keeps its configuration.  A built
// program (or a copy of it in a folder of its own) has everything beside
// itself; an installed one lies in the GNU layout, the program in
// <prefix>/bin and the manual in <prefix>/share/doc/kalmira, and keeps its
// settings in the user's configuration folder, as every installed program
// does.
#pragma once

#include <string>

// True when the program runs from an installation: no manual beside it in
// doc/, but one where the installation puts it.
bool ProgramInstalled();

// The manual's file: beside the program, else where the installation puts
// it; "" when there is none.
std::string ManualPath();
