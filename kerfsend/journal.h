// journal.h - the job journal beside the program: the last file line the controller confirmed,
// so that a stopped job can be taken up again where it stood.
#pragma once

#include "journal_file.h"  // its name, its form and its reading

// A download of program begins, with every line up to `confirmed` done before (a resume); the
// journal, which names the program's stamp (nullptr: none known), is written as lines are
// confirmed, and by the first journal_save() at once.
void journal_begin(const char* program, long confirmed, const FileStamp* stamp);

// The controller confirmed file line `line`. The journal is rewritten at most a few times a
// second from here; journal_save() writes it at once.
void journal_confirmed(long line);

// Writes the journal now (at a pause, a stop, the end); complete: the program went out to its
// end. A journal that cannot be written is reported once a download, and the journal of an
// earlier run removed, so that it cannot lead a resume to that run's place.
void journal_save(bool complete = false);

// The last line confirmed in this download so far (0: none).
long journal_last();

// True when a journal can be written beside program now; else false, with the error code.
bool journal_writable(const char* program, int* error);
