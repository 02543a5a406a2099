// viewer.h - finding and starting the viewer, Kerfdisplay, from the other programs.
#pragma once

#include <string>
#include <vector>

// The viewer installed beside the running program, else the first on the search path; never
// the working directory, where a job folder received from someone else could hold a program of
// that name. Empty when there is none.
std::string find_viewer();

// Starts the viewer with these arguments and goes on without waiting for it; its console output
// goes nowhere, so that it never runs into this program's own. False when it could not be started.
bool start_viewer(const std::vector<std::string>& args);

#ifdef _WIN32
// One argument as the C run-time of the started program splits its command line: quoted,
// with the backslashes before the closing quote doubled.
std::string quoted_argument(const std::string& text);
#endif
