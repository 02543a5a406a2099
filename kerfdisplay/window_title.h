// window_title.h - the window title: the file name with the folder it is relative to.
#pragma once

#include <string>

// "Kerfdisplay - " + the name as given, after the working directory and a path separator
// when the name is relative.
std::string window_title(const char* file_name);
