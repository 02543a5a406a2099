// viewer.h - finding and starting the viewer, Kerfdisplay, from the other programs.
#pragma once

#include <string>
#include <vector>

// The viewer installed beside the running program, else the first on the search path; never
// the working directory, where a job folder received from someone else could hold a program of
// that name. Empty when there is none.
std::string find_viewer();

// Starts the viewer with these arguments and goes on without waiting for it; its console output
// goes nowhere, so that it never runs into this program's own, and it holds none of this
// program's files or ports. False when it could not be started; viewer_failure() says why.
bool start_viewer(const std::vector<std::string>& args);

// Why the last start_viewer() failed, as a sentence without its full stop: that no viewer was
// found, or "No viewer could start: " and the cause.
const char* viewer_failure();

#ifdef _WIN32
// One argument as the C run-time of the started program splits its command line: quoted,
// with the backslashes before the closing quote doubled.
std::string quoted_argument(const std::string& text);
#endif
