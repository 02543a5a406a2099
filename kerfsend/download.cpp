// download.cpp - the program download, the pause menu and command entry.
#include "download.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "console.h"
#include "files.h"
#include "journal.h"
#include "link.h"
#include "progress.h"
#include "resume.h"
#include "settings.h"
#include "text.h"
#include "viewer.h"

long resume_from = 1;
bool follow_next = false;

namespace {

enum class Menu { Continue, ExitProgram, Terminate, LineLost, Back, Interrupted };

// The comment lines just before the line being read: a program stop shows them, since that
// is where Kerfgen says which tool to put in.
constexpr int kNotes = 4;

// The download under way.
struct Job {
  const char* name;
  long next;        // the file line that goes out next, for the progress line
  bool hand_moved;  // a command typed at this pause may have moved the machine
  bool modes_typed;  // a command typed at this pause may have set a mode or the feed
  bool at_pause_line;  // the pause is a ":" line's: the operator may have set the tool for what follows
  // The pause began while a line was carried out (a key during a long move): its answer is
  // still due, and nothing typed may go out before it, or that answer would be taken for the
  // command's.
  bool answer_due;
  ReEntry at;       // where the lines sent so far have brought the tool
  bool rereadable;  // the program can be read again from its start (not a pipe)
  bool stamped;     // the program's size and time are known
  FileStamp stamp;
  Line notes[kNotes];
  int note_count;
};

Job job{};

bool is_enter(int key) { return key == '\r' || key == '\n'; }
bool is_erase(int key) { return key == 0x7f || key == '\b'; }

void note_comment(const Line& line) {
  if (line.length <= 1) return;  // a ";" alone says nothing
  if (job.note_count == kNotes) {
    for (int k = 1; k < kNotes; ++k) job.notes[k - 1] = job.notes[k];
    --job.note_count;
  }
  job.notes[job.note_count++] = line;
}

// Sends a typed command as a line and shows the controller's answer.
void send_command(const char* command, int length) {
  if (!port_ready()) return;
  if (job.answer_due) {
    Reply r = reply_wait(settings.prompt, 0, 'v', "");
    if (r == Reply::Interrupted) return;
    if (r != Reply::Done) {
      // The key that ended the wait, and whatever followed it, were typed for no command the
      // operator can see: none of it may become the start of the next one.
      if (r == Reply::Key) {
        drop_keys();
        std::printf("\nThe line under way has not ended - command not sent, nor the keys typed after it\n-");
      } else {
        std::printf("\nThe line under way has not ended - command not sent\n-");
      }
      return;
    }
    job.answer_due = false;
    std::printf("\n");
  }
  if (send_text(command, static_cast<std::size_t>(length)) != Reply::Done || send_text("\n") != Reply::Done) return;
  // Whether or not its answer comes, the controller may have acted on it.
  const TypedEffect effect = typed_effect(command);
  job.hand_moved = job.hand_moved || effect.moves;
  job.modes_typed = job.modes_typed || effect.modes;
  Reply r;
  if (command[0] == 's') {
    r = reply_wait(settings.prompt, 0, 'v');
    // NOTE: whatever the controller adds after its answer to s comes at once; it is shown until
    // the line falls quiet, rather than awaited as an echo that never comes.
    if (r == Reply::Done) drain_replies(true);
  } else {
    r = reply_wait(settings.prompt, length, 'e');
  }
  if (r == Reply::Key) {
    // Its answer is still to come: what goes out next waits for it first.
    job.answer_due = true;
    drop_keys();
    std::printf("\nThe command's answer has not come yet - keys typed meanwhile are dropped\n-");
  } else if (command[0] == 's' && r != Reply::Interrupted) {
    std::printf("\n-");
  }
}

// G-code commands typed by the operator while the download waits. What is sent is what the
// screen shows: Backspace takes back the last character on both, and no control character
// but the line end is ever sent.
Menu command_entry() {
  char command[kLineMax + 1];
  int length = 0;
  bool fits = true;
  // An arrow or function key comes as Escape and printable characters (\x1b[A): those would
  // be sent as G-code words that the operator never typed, so the line is refused.
  bool escaped = false;
  for (;;) {
    int key = length == 0 ? std::tolower(operator_key()) : console_getkey();
    if (console_interrupted() != 0) return Menu::Interrupted;
    if (key == CONSOLE_END) {
      std::printf("program terminated\n");
      return Menu::Terminate;
    }
    if (is_erase(key)) {
      if (length > 0 && fits) {
        --length;
        std::printf("\b \b");
      }
      if (length == 0) escaped = false;
      continue;
    }
    if (is_enter(key)) {
      // NOTE: an Enter with nothing typed is no command; a CRLF would otherwise send a blank line.
      if (length == 0) continue;
      command[length] = '\0';
      std::printf("\n");
      if (escaped) {
        std::printf("Command holds a control character - not sent\n-");
      } else if (fits) {
        send_command(command, length);
        if (console_interrupted() != 0) return Menu::Interrupted;
      } else {
        std::printf("Command longer than %d characters - not sent\n-", kLineMax);
      }
      length = 0;
      fits = true;
      escaped = false;
      continue;
    }
    if (key == 0x1b) escaped = true;
    if (key < ' ') continue;
    std::putchar(key);
    if (length == 0 && key == 'c') return Menu::Continue;
    if (length == 0 && key == 'e') {
      std::printf("program terminated\n");
      return Menu::Terminate;
    }
    if (length < kLineMax) {
      command[length++] = static_cast<char>(key);
    } else {
      fits = false;
    }
  }
}

Menu send_line(const Line& line, long number, bool of_program, bool limit = true);

// Why no moves can be computed that bring the tool to where the program stands, or nullptr.
const char* no_way_back(const ReEntry& at) {
  if (!at.z_moved) return "it has no Z move to lift and lower by";
  if (at.feed <= 0.0) return "no feed rate is known";
  return nullptr;
}

// Sends the first `count` re-entry lines as lines of Kerfsend's own.
Menu send_moves(char (&lines)[kReEntryLines][128], int count, long number) {
  Line line{};
  for (int k = 0; k < count; ++k) {
    line.length = std::snprintf(line.text, sizeof line.text, "%s", lines[k]);
    Menu menu = send_line(line, number, false);
    if (menu != Menu::Continue) return menu;
  }
  return Menu::Continue;
}

void show_lines(char (&lines)[kReEntryLines][128], int count) {
  for (int k = 0; k < count; ++k) std::printf("  %s\n", lines[k]);
}

// The lines from the one that goes out next, read again from the file; not read from a file
// that cannot be read twice (a pipe).
Ahead ahead_of_place() {
  Ahead ahead{};
  if (!job.rereadable) return ahead;
  std::FILE* file = open_for_reading(job.name);
  if (file == nullptr) return ahead;
  ahead = look_ahead(file, job.next, job.at);
  std::fclose(file);
  return ahead;
}

// Before the program goes on after commands typed at a pause: the program's modes and feed
// again, and, when the commands moved the machine, the moves back to where it stopped, sent
// only after a 'y'; at a pause line, or before a line that sets an origin, 'h' goes on from
// where the tool now stands instead. Any other key goes back to the menu.
Menu return_to_program() {
  const ReEntry& at = job.at;
  const bool moved = job.hand_moved;
  const bool modes = job.modes_typed;
  job.hand_moved = false;
  job.modes_typed = false;
  char here[kReEntryLines][128];
  const int here_count = reentry_lines(at, false, here);
  // Nothing of the program has moved yet: its own first moves set the place.
  if (!modes && !at.moved) {
    std::printf("\n\n-");
    return Menu::Continue;
  }
  // Nothing moved by hand, or nothing of the program yet: the modes and the feed alone go
  // out, and they move nothing.
  if (!moved || !at.moved) {
    std::printf("\nThe program's modes and feed go out again, so that none typed at the pause holds for it:\n");
    show_lines(here, here_count);
    std::printf("\n-");
    return send_moves(here, here_count, job.next);
  }
  const Ahead ahead = ahead_of_place();
  const bool in_run = ahead.read ? ahead.continues_line > 0 : at.arc_line > 0 || interp.cycle_line > 0;
  if (in_run) {
    const long run = ahead.read ? ahead.run_line : at.arc_line > 0 ? at.arc_line : interp.cycle_line;
    if (ahead.read) {
      std::printf("\nLine %ld of %s continues the %s of line %ld without a motion word of its own: after moves of "
                  "Kerfsend's own it would be cut as a straight line - no way back there\n",
                  ahead.continues_line, job.name, ahead.cycle ? "canned cycle" : "arc", run);
    } else {
      std::printf("\nThe arc or canned cycle of line %ld is in force, and the lines after it cannot be read again - "
                  "no way back there\n",
                  run);
    }
    std::printf("End the job (e) and take it up again at line %ld: Kerfsend -r%ld -f%s\n", run, run, job.name);
    job.hand_moved = true;
    job.modes_typed = modes;
    return Menu::Back;
  }
  const bool from_here = job.at_pause_line || ahead.sets_origin;
  const char* why = no_way_back(at);
  // Without moves the modes and the feed go out all the same.
  char lines[kReEntryLines][128];
  const int count = reentry_lines(at, why == nullptr, lines);
  const Unfollowed* unread = why == nullptr ? unfollowed_before(job.next) : nullptr;
  if (why != nullptr) {
    std::printf("\nCommands typed at the pause moved the machine, and no way back can be computed: %s.\n"
                "Bring the tool back to X%1.4f Y%1.4f Z%1.4f by hand%s. Then these lines go out:\n",
                why, at.x, at.y, at.z, from_here ? ", or leave it where it is to go on from here" : "");
  } else {
    std::printf("\nCommands typed at the pause moved the machine. The moves back to where the program stopped:\n");
  }
  show_lines(lines, count);
  if (unread != nullptr) {
    std::printf("Line %ld of %s holds %s, which the reading does not follow: these moves may not lead to where the "
                "program stopped\n",
                unread->first_line, job.name, unread->what);
  }
  const bool offer_here = from_here && why == nullptr;
  if (offer_here) {
    std::printf("Or go on from here, the tool where it stands (%s), with these lines alone:\n",
                job.at_pause_line ? "the pause may have been for setting it" : "the next line sets an origin");
    show_lines(here, here_count);
  }
  std::printf("Press 'y' to send %s%s and go on with line %ld, %sany other key to go back to the menu\n",
              offer_here ? "the moves back" : "them", unread != nullptr ? " all the same" : "", job.next,
              offer_here ? "'h' to go on from here, " : "");
  const int key = std::tolower(operator_key());
  if (console_interrupted() != 0) return Menu::Interrupted;
  if (offer_here && key == 'h') {
    std::printf("\n-");
    return send_moves(here, here_count, job.next);
  }
  if (key != 'y') {
    job.hand_moved = true;
    job.modes_typed = modes;
    return Menu::Back;
  }
  std::printf("\n-");
  return send_moves(lines, count, job.next);
}

// The pause menu: the choice, command entry, and the way back before going on.
Menu pause_menu(bool key_press) {
  progress_hide();
  progress_pause(true);
  journal_save();
  if (key_press) {
    console_getkey();
    std::printf("\nProgram paused\n");
    // With a line under way the next one is not the line to go on from later: no "is next".
    progress_report(job.answer_due ? 0 : job.next);
  }
  Menu menu = Menu::Back;
  while (menu == Menu::Back) {
    std::printf("Press 'f' to enter a command,'e' to exit or any other key to continue\n");
    int key = std::tolower(operator_key());
    if (console_interrupted() != 0) {
      menu = Menu::Interrupted;
      break;
    }
    if (key == 'e') {
      menu = Menu::ExitProgram;
      break;
    }
    if (key == 'f') {
      std::printf("Enter G Code command, 'c' to continue or 'e' to exit\n-");
      Menu entry = command_entry();
      if (entry == Menu::Terminate || entry == Menu::Interrupted) {
        menu = entry;
        break;
      }
    }
    if (job.hand_moved || job.modes_typed) {
      menu = return_to_program();
    } else {
      std::printf("\n\n-");
      menu = Menu::Continue;
    }
  }
  progress_pause(false);
  return menu;
}

// Where to take the job up again after a stop: the first line the controller has not confirmed,
// or, when that line goes on with the arc or cycle of an earlier one without a motion word of
// its own (which a resume refuses), the line that began the run.
void show_resume_command() {
  long line = journal_last() + 1;
  if (std::FILE* file = open_for_reading(job.name)) {
    Ahead ahead{};
    find_reentry(file, line, &ahead);
    std::fclose(file);
    if (ahead.continues_line > 0 && ahead.run_line > 0) line = ahead.run_line;
  }
  std::printf("To go on from file line %ld later: Kerfsend -r%ld -f%s\n", line, line, job.name);
}

Outcome stop_download(Menu menu) {
  if (menu == Menu::ExitProgram) std::printf("Exit program\n");
  if (menu == Menu::Interrupted) {
    progress_hide();
    std::printf("\nInterrupted (Ctrl-C) - download stopped\n");
  }
  progress_end(false);
  journal_save();
  show_resume_command();
  return menu == Menu::LineLost ? Outcome::Failed : Outcome::Exit;
}

// Shows a character of a line as it came, control characters spelt out.
void show_visible(const char* text) {
  for (; *text != '\0'; ++text) {
    unsigned char c = static_cast<unsigned char>(*text);
    if (c == '\n') {
      std::printf("\\n");
    } else if (c == '\r') {
      std::printf("\\r");
    } else if (c < ' ' || c == 0x7f) {
      std::printf("\\x%02x", c);
    } else {
      std::putchar(c);
    }
  }
}

// Sends one line (number: its file line; of_program: a line of the file rather than one of
// Kerfsend's own) and waits for its answer. Every way it can go wrong stops before the next
// line; the operator decides at the pause menu.
Menu send_line(const Line& line, long number, bool of_program, bool limit) {
  // A command typed at the pause whose answer a key stopped waiting for: that answer comes
  // before this line's echo, or it would be taken for it.
  while (job.answer_due) {
    job.answer_due = false;
    Reply due = reply_wait(settings.prompt, 0, 'v', "");
    if (due == Reply::Interrupted) return Menu::Interrupted;
    if (due != Reply::Key) break;  // whatever else went wrong, the line's own sending tells
    job.answer_due = true;
    Menu menu = pause_menu(true);
    if (menu != Menu::Continue) return menu;
  }
  if (console_interrupted() != 0) return Menu::Interrupted;
  progress_line(number);
  Reply r = send_text(line.text, static_cast<std::size_t>(line.length));
  if (r == Reply::Done) r = send_text("\n");
  const bool sent = r == Reply::Done;
  // The next line begins where this one ends, whether or not its answer comes.
  if (sent && of_program) {
    track_line(line.text, number, job.at);
    job.next = number + 1;
  }
  // Waiting at a program stop for the controller's own button is a pause: not part of the pace.
  if (!limit) progress_pause(true);
  if (sent) r = reply_wait(settings.prompt, line.length, 'v', line.text, limit);
  while (r == Reply::Key) {
    job.answer_due = true;
    Menu menu = pause_menu(true);
    const bool due = job.answer_due;
    job.answer_due = false;
    if (menu != Menu::Continue) return menu;
    // The line is still being carried out: its answer is still due, unless a typed command
    // waited for it already.
    r = due ? reply_wait(settings.prompt, 0, 'v', "", limit) : Reply::Done;
  }
  if (!limit) progress_pause(false);
  // Only the program's own lines count as sent: the share and the pace are the program's.
  if (r == Reply::Done) {
    if (of_program) {
      progress_sent();
      journal_confirmed(number);
    }
    return Menu::Continue;
  }
  // NOTE: Ctrl-C does not wait for the line under way: it is not confirmed, so the job is taken
  // up again at it.
  if (r == Reply::Interrupted) return Menu::Interrupted;
  session.failed = true;
  progress_hide();
  if (r == Reply::Lost) {
    std::printf("\nSerial port COM%d is not open - download of %s stopped at line %ld\n", settings.port + 1, job.name,
                number);
    return Menu::LineLost;
  }
  if (r == Reply::Garbled) {
    std::printf("\nLine %ld: the controller's echo differs from the line sent - download stopped\n  sent:   ",
                number);
    show_visible(line.text);
    std::printf("\n  echoed: ");
    show_visible(echo_seen());
    std::printf("\n");
  } else if (!sent) {
    std::printf("\nLine %ld could not be sent: the controller took no data for %g s - download stopped\n", number,
                settings.reply_limit_s);
  } else {
    std::printf("\nLine %ld was not answered within %g s - download stopped\n", number, settings.reply_limit_s);
  }
  if (of_program) job.next = number + 1;  // continuing goes on with the next line
  // No "is next" here: the line to go on from later is this one, not the one a continue sends,
  // and a stop names one line one way.
  progress_report();
  // A late answer to the stopped line must not be taken for the echo of what goes out next:
  // a command typed at the pause, the way back, or the next line.
  drain_replies();
  Menu menu = pause_menu(false);
  if (menu == Menu::Continue) {
    if (sent && of_program) progress_sent();  // it went out: the count of lines sent says so
    drain_replies();
  }
  return menu;
}

// A program stop (m0, m01): stops as at a pause line, with the comments written above it.
Menu stop_line(const Line& line, long number) {
  progress_hide();
  std::printf("\nProgram stop at line %ld\n", number);
  for (int k = 0; k < job.note_count; ++k) std::printf("%s\n", job.notes[k].text);
  std::printf("%s\n", line.text);
  progress_report(number);
  return pause_menu(false);
}

Outcome send_program(std::FILE* file, long from) {
  Line line;
  long number = 0;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++number;
    if (number >= from) job.next = number;
    if (number >= from && console_interrupted() != 0) return stop_download(Menu::Interrupted);
    // Once input has ended no key can come: the test would cost a call a line for nothing.
    if (number >= from && !console_ended() && console_keypressed()) {
      Menu menu = pause_menu(true);
      if (menu != Menu::Continue) return stop_download(menu);
    }
    bool fits = read_line(file, c, line);
    // The comments above a stop are shown with it, even when a resume begins at the stop.
    if (line.length > 0 && line.text[0] == ';') {
      note_comment(line);
      continue;
    }
    if (number < from) {
      job.note_count = 0;
      continue;
    }
    if (line.length > 0 && line.text[0] == ':') {
      job.note_count = 0;
      job.next = number + 1;
      progress_hide();
      std::printf("\nPause command found\n");
      std::fwrite(line.text, 1, static_cast<std::size_t>(line.length), stdout);
      std::printf("\n");
      progress_report(job.next);
      job.at_pause_line = true;
      Menu menu = pause_menu(false);
      job.at_pause_line = false;
      if (menu != Menu::Continue) return stop_download(menu);
      continue;
    }
    // Only a file read once (a pipe) comes here with a line that was not checked before.
    const int bad = fits ? bad_byte(line) : -1;
    if (!fits || bad >= 0) {
      progress_end(false);
      if (!fits) {
        std::printf("\nLine %ld of %s is longer than %d characters - download stopped\n", number, job.name, kLineMax);
      } else {
        std::printf("\nLine %ld of %s holds byte 0x%02X, which is not G-code text - download stopped\n", number,
                    job.name, bad);
      }
      journal_save();
      show_resume_command();
      return Outcome::Failed;
    }
    const bool stop = holds_stop(line.text);
    if (stop) {
      Menu menu = stop_line(line, number);
      if (menu != Menu::Continue) return stop_download(menu);
    }
    job.note_count = 0;
    // NOTE: the controller may hold a program stop until its own button is pressed: that
    // answer has no limit.
    Menu menu = send_line(line, number, true, !stop);
    if (menu != Menu::Continue) return stop_download(menu);
  }
  progress_end(true);
  journal_save(true);
  return Outcome::Done;
}

// A check that could not be made, or a place the controller has left behind: only a 'y' to a
// question that names it goes on.
bool anyway(const char* what, long line) {
  std::printf("Press 'y' to %s %ld all the same, any other key to stop\n", what, line);
  return std::tolower(operator_key()) == 'y';
}

// Before a resume: shows the lines that set the modes and bring the tool back over the place
// where line `from` begins, and sends them once the operator agrees. Done when the program may
// go on. What refuses the resume and what is asked first are the one reading's rules
// (judge_resume), which the viewer tells a resume by too.
Outcome re_enter(std::FILE* file, long from) {
  const char* name = job.name;
  const long confirmed = journal_confirmed_line(name, job.stamped ? &job.stamp : nullptr);
  const ResumeVerdict verdict = judge_resume(file, reading_start(), from, confirmed);
  job.at = verdict.at;
  std::clearerr(file);
  if (std::fseek(file, 0, SEEK_SET) != 0) return Outcome::Failed;
  const ReEntry& at = job.at;
  if (verdict.refusal != ResumeRefusal::None) {
    std::printf("\n%s, nothing sent\n", resume_refusal_text(verdict, name).c_str());
    return Outcome::Failed;
  }
  // What is asked first: the operator's y goes on, any other key cancels the resume.
  auto go_on_after = [from](const std::string& question) {
    std::printf("\n%s\n", question.c_str());
    if (anyway("resume at line", from)) return true;
    std::printf("Resume cancelled - nothing sent\n");
    return false;
  };
  if (verdict.unfollowed.what != nullptr && !go_on_after(resume_unfollowed_text(verdict, name))) return Outcome::Failed;
  // A resume before a line that sets an origin, when the journal shows that line confirmed: the
  // controller holds the new origin, and the re-entry is reckoned in the old one.
  if (verdict.origin_line != 0 && !go_on_after(resume_origin_text(verdict, name))) return Outcome::Failed;
  // A program without Z moves (a lathe's) gives no height to travel at: only the modes go out.
  const bool moves = at.moved && at.z_moved;
  char lines[kReEntryLines][128];
  const int count = reentry_lines(at, moves, lines);
  if (!at.moved) {
    std::printf("\nResume %s at line %ld. No line before it moves the tool; the modes go out first:\n", name, from);
  } else if (moves) {
    std::printf("\nResume %s at line %ld. Re-entry moves:\n", name, from);
  } else {
    std::printf("\nResume %s at line %ld. %s. Then these lines go out:\n", name, from,
                resume_by_hand_text(at, name).c_str());
  }
  show_lines(lines, count);
  if (at.origin_line > 0) std::printf("%s\n", resume_origin_note(at).c_str());
  std::printf("Press 'y' to send them and go on with line %ld, any other key to stop\n", from);
  const int answer = std::tolower(operator_key());
  if (console_interrupted() != 0) {
    std::printf("\nInterrupted (Ctrl-C) - resume cancelled, nothing sent\n");
    return Outcome::Exit;
  }
  if (answer != 'y') {
    std::printf("Resume cancelled - nothing sent\n");
    return Outcome::Failed;
  }
  std::printf("\n-");
  Menu menu = send_moves(lines, count, from);
  if (menu == Menu::Continue) return Outcome::Done;
  if (menu == Menu::ExitProgram) std::printf("Exit program\n");
  if (menu == Menu::Interrupted) {
    std::printf("\nInterrupted (Ctrl-C) - resume stopped\n");
    journal_save();
    show_resume_command();
  }
  return menu == Menu::LineLost ? Outcome::Failed : Outcome::Exit;
}

void show_stamp(const FileStamp& stamp) {
  char when[64] = "";
  const std::time_t seconds = static_cast<std::time_t>(stamp.seconds);
  const std::tm* local = std::localtime(&seconds);
  if (local != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
  std::printf("%lld bytes, written %s", stamp.size, when);
}

// The line a resume begins with: the one given, or the first the journal has not confirmed;
// 0 when there is none (said why).
long resume_line(long from, const char* name) {
  if (from != kResumeJournal) return from;
  long confirmed = 0;
  bool complete = false;
  bool stamped = false;
  FileStamp stamp{};
  switch (journal_read(name, &confirmed, &complete, &stamped, &stamp)) {
    case JournalRead::Missing:
      std::printf("\nNo journal %s.journal: no line to resume at - nothing sent\n", name);
      return 0;
    case JournalRead::Damaged:
      std::printf("\nJournal %s.journal cannot be read - nothing sent\n", name);
      return 0;
    case JournalRead::Found:
      break;
  }
  if (!stamped) {
    std::printf("\nJournal %s.journal names no size and time of %s (an earlier Kerfsend wrote it): whether the "
                "program changed since cannot be told\n",
                name, name);
  } else if (!job.stamped || !same_stamp(stamp, job.stamp)) {
    std::printf("\nJournal %s.journal was kept for %s of ", name, name);
    show_stamp(stamp);
    std::printf(", and it is now of ");
    if (job.stamped) show_stamp(job.stamp);
    std::printf(": the program changed since - nothing sent\nGive the line to go on from: Kerfsend -rN -f%s\n", name);
    return 0;
  }
  if (complete) {
    std::printf("\n%s was sent to its end (journal %s.journal): nothing to resume - nothing sent\n", name, name);
    return 0;
  }
  // NOTE: a run that could write no journal here may have left an earlier run's standing, one
  // that it could not remove either: that one would lead to the earlier run's place.
  int error = 0;
  if (!journal_writable(name, &error)) {
    std::printf("\nNo journal can be written beside %s (%s): journal %s.journal may be an earlier run's - nothing "
                "sent\nGive the line to go on from: Kerfsend -rN -f%s\n",
                name, std::strerror(error), name, name);
    return 0;
  }
  std::printf("\nJournal %s.journal: line %ld confirmed, resume at line %ld\n", name, confirmed, confirmed + 1);
  return confirmed + 1;
}

// Checks the moves from line `from` on against the travel limits, when there are any; false,
// said where, when one leaves them. A program that holds what the reading does not follow is
// checked only up to there: it goes out only after a 'y' to a question naming it.
bool within_travel(std::FILE* file, long from) {
  const Travel* travel = settings.travel;
  if (!travel[0].set && !travel[1].set && !travel[2].set) return true;  // nothing changes without them
  TravelFault fault = check_travel(file, from, settings.travel);
  std::clearerr(file);
  std::fseek(file, 0, SEEK_SET);
  // A word not followed up to the line found past the travel makes that line's place a guess too.
  const Unfollowed* unread = unfollowed_before(fault.line > 0 ? fault.line + 1 : LONG_MAX);
  if (fault.line > 0 && unread == nullptr) {
    std::printf("\nLine %ld of %s goes %1.4f past the travel of %c (%s %1.4f) - nothing sent\n", fault.line, job.name,
                fault.past, "XYZ"[fault.axis], fault.lowest ? "lowest" : "highest", fault.limit);
    return false;
  }
  long up_to = 0;
  if (unread != nullptr) {
    up_to = unread->first_line;
    std::printf("\nLine %ld of %s holds %s, which the reading does not follow: the travel is not checked from there "
                "on\n",
                up_to, job.name, unread->what);
  } else {
    return true;
  }
  std::printf("Press 'y' to send %s without the travel check from line %ld on, any other key to stop\n", job.name,
              up_to);
  if (std::tolower(operator_key()) == 'y') return true;
  std::printf("Travel not checked - %s not sent\n", job.name);
  return false;
}

}  // namespace

int bad_byte(const Line& line) {
  const bool sent = is_sent(line);
  for (int k = 0; k < line.length; ++k) {
    const int c = static_cast<unsigned char>(line.text[k]);
    if ((c < ' ' && c != '\t') || (sent && c > '~')) return c;
  }
  return -1;
}

// Only lines that are sent have a length limit: comments and pauses never reach the
// controller. A file that cannot be read twice (a pipe) is not surveyed; its download stops
// at a long line instead, and shows no share.
bool survey(std::FILE* file, long from, Survey& found) {
  found = Survey{};
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  Line line;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++found.lines;
    bool fits = read_line(file, c, line);
    int bad = bad_byte(line);
    if (bad >= 0 && found.bad_line == 0) {
      found.bad_line = found.lines;
      found.bad_byte = bad;
    }
    if (found.lines < from || !is_sent(line)) continue;
    ++found.to_send;
    if (!fits && found.too_long == 0) found.too_long = found.lines;
  }
  std::clearerr(file);
  return std::fseek(file, 0, SEEK_SET) == 0;
}

int operator_key() {
  int key = console_getkey();
  return key == CONSOLE_END || key == CONSOLE_INTERRUPT ? 'e' : key;
}

void drop_keys() {
  constexpr int kQuietMs = 300;   // a burst of typing has gaps shorter than this
  constexpr int kLongestMs = 3000;  // a key held down ends the dropping all the same
  int quiet = 0;
  for (int spent = 0; quiet < kQuietMs && spent < kLongestMs; spent += 20) {
    if (console_interrupted() != 0 || console_ended()) return;
    if (console_keypressed()) {
      console_getkey();
      quiet = 0;
      continue;
    }
    delay_ms(20);
    quiet += 20;
  }
}

bool choose_resume(const char* text) {
  if (text[0] == '\0') {
    resume_from = kResumeJournal;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  long line = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || line < 1) {
    std::printf("Unrecognized resume line: %s - the next download sends nothing\n", text);
    resume_from = kResumeRefused;
    return false;
  }
  resume_from = line;
  return true;
}

namespace {

// A program sent again from its start after it went out whole needs no -r: said, so that the
// operator who meant to take a stopped job up knows this is not that.
void tell_if_sent_whole(const char* name) {
  long confirmed = 0;
  bool complete = false;
  if (journal_read(name, &confirmed, &complete) == JournalRead::Found && complete) {
    std::printf("\n%s went out whole last time (journal %s.journal): it is sent again from line 1; -r is not "
                "needed\n",
                name, name);
  }
}

// The viewer follows the job from its start (or, resuming, shows where it takes up).
void show_in_viewer(const char* name) {
  if (start_viewer({name, "--follow"})) {
    std::printf("\nKerfdisplay follows %s in its window\n", name);
  } else {
    std::printf("\n%s - %s is sent without it\n", viewer_failure(), name);
  }
}

}  // namespace

Outcome download(const char* name) {
  const long asked = resume_from;
  if (name[0] == '\0') {
    std::printf("No file name given\n");
    session.failed = true;
    return Outcome::Failed;
  }
  // A pipe would hold the open until something writes to it, and can be read only once.
  if (is_pipe(name)) {
    std::printf("\n%s is a pipe, not a program file - nothing sent\n", name);
    resume_from = 1;
    follow_next = false;
    session.failed = true;
    return Outcome::Failed;
  }
  std::FILE* file = open_for_reading(name);
  if (file == nullptr) {
    std::printf("File %s can't be found\n", name);
    if (asked != 1 && asked != kResumeRefused) std::printf("The resume waits for the next download\n");
    session.failed = true;
    return Outcome::Failed;
  }
  job = Job{};
  job.name = name;
  Outcome outcome = Outcome::Failed;
  Survey found{};
  const bool device = is_device(file);
  const bool surveyed = !device && survey(file, 1, found);
  job.rereadable = surveyed;
  job.stamped = surveyed && file_stamp(file, job.stamp);
  bool keep_resume = false;
  long from = 1;
  if (asked == kResumeRefused) {
    std::printf("\nNo valid resume line - %s not sent\n", name);
  } else if (device) {
    std::printf("\n%s is a device, not a program file - nothing sent\n", name);
  } else if (settings.port_unknown || settings.rate_unknown) {
    std::printf("\nThe %s asked for is not known - %s not sent\n", settings.port_unknown ? "port" : "baud rate", name);
    keep_resume = true;
  } else if (session.open_port < 0) {
    std::printf("\nSerial port COM%d is not open - %s not sent\n", settings.port + 1, name);
    keep_resume = true;
  } else if (surveyed && found.bad_line != 0) {
    std::printf("\nLine %ld of %s holds byte 0x%02X, which is not G-code text - nothing sent\n", found.bad_line, name,
                found.bad_byte);
  } else if (surveyed && found.too_long != 0) {
    std::printf("\nLine %ld of %s is longer than %d characters - nothing sent\n", found.too_long, name, kLineMax);
  } else if (asked != 1 && !surveyed) {
    std::printf("\n%s cannot be read twice - no resume\n", name);
  } else if (settings.travel_unreadable) {
    std::printf("\nA travel line of ksconfig.txt cannot be read - %s not sent\n", name);
  } else if ((from = resume_line(asked, name)) == 0) {
    // said why
  } else if (found.lines == 0) {
    std::printf("\n%s is empty - nothing sent\n", name);
  } else if (from > found.lines) {
    std::printf("\n%s has no line %ld - nothing sent\n", name, from);
  } else if (surveyed && !within_travel(file, from)) {
    // said where
  } else {
    if (surveyed) survey(file, from, found);
    if (asked == 1) tell_if_sent_whole(name);
    // Keys typed while the controller works are kept for the pause, never shown in its echo.
    console_hold(true);
    track_reset(job.at);
    journal_begin(name, from - 1, job.stamped ? &job.stamp : nullptr);
    if (follow_next) show_in_viewer(name);
    outcome = from == 1 ? Outcome::Done : re_enter(file, from);
    if (outcome == Outcome::Done) {
      // At once, not at the first line confirmed: until then a journal of an earlier run, of
      // this program or of another version of it, would stand for this one.
      journal_save();
      std::printf("\n-");
      progress_begin(surveyed ? found.to_send : 0);
      outcome = send_program(file, from);
    }
    console_hold(false);
  }
  resume_from = keep_resume ? asked : 1;
  follow_next = follow_next && keep_resume;
  if (keep_resume && asked != 1) std::printf("The resume waits for the next download\n");
  std::fclose(file);
  if (outcome != Outcome::Done) session.failed = true;
  return outcome;
}
