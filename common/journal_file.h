// journal_file.h - reading the job journal that Kerfsend keeps beside a program; Kerfsend writes
// it and the viewer follows the job by it.
#pragma once

#include "files.h"

// The journal of job.nc is job.nc.journal. It holds one line, "confirmed N", with " complete"
// after N once the whole program went out, then " size S time T.NNNNNNNNN": the program's size
// and the time it was last written, so that a journal is never taken for a program changed
// since. A journal of an earlier Kerfsend has no size and time.

enum class JournalRead { Found, Missing, Damaged };

// The journal's name for program into name (of `size` bytes); false when it does not fit.
bool journal_name(const char* program, const char* ending, char* name, unsigned long size);

// Reads the journal of program: the last line confirmed and whether the program went out whole;
// *stamped (when given) tells whether it names the program's stamp, then in *stamp.
JournalRead journal_read(const char* program, long* confirmed, bool* complete, bool* stamped = nullptr,
                         FileStamp* stamp = nullptr);

// The journal's line, without its line end, into text (of `size` bytes).
void journal_line(char* text, unsigned long size, long confirmed, bool complete, const FileStamp* stamp);

// The last line the journal of program confirms, when the journal is this program's: its stamp
// is the one given (nullptr: the program's is not known, and no journal that names one is
// taken), or it names none (an earlier Kerfsend's). -1 otherwise, or when there is no journal
// to read. Kerfsend asks before a resume that this passes a line setting an origin, and the
// viewer tells of that question.
long journal_confirmed_line(const char* program, const FileStamp* stamp);
