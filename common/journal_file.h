// journal_file.h - reading the job journal that Kerfsend keeps beside a program; Kerfsend writes
// it and the viewer follows the job by it.
#pragma once

// The journal of job.nc is job.nc.journal. It holds one line, "confirmed N", with " complete"
// after N once the whole program went out.

enum class JournalRead { Found, Missing, Damaged };

// The journal's name for program into name (of `size` bytes); false when it does not fit.
bool journal_name(const char* program, const char* ending, char* name, unsigned long size);

// Reads the journal of program: the last line confirmed and whether the program went out whole.
JournalRead journal_read(const char* program, long* confirmed, bool* complete);
