// platform.h - what Kerfgen asks of the operating system beyond the C library.
#pragma once

// The local date and time in asctime's form, ending with its own newline.
const char* local_time_text();

// True when both names lead to the same file (the same text, or the same file reached by
// another path or a link), so that a script is never truncated by its own output.
bool same_file(const char* a, const char* b);

// Replaces the running program by the viewer Kerfdisplay with the output file as its one
// argument. Looks beside the running program, then on the search path (never in the working
// directory). Returns only when no viewer could be started.
void replace_by_viewer(const char* output_name);
