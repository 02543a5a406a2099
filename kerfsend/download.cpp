// download.cpp - the program download, the pause menu and command entry.
#include "download.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "files.h"
#include "link.h"
#include "progress.h"
#include "resume.h"
#include "settings.h"
#include "text.h"

long resume_from = 1;

namespace {

enum class Menu { Continue, ExitProgram, Terminate, LineLost };

bool is_enter(int key) { return key == '\r' || key == '\n'; }
bool is_erase(int key) { return key == 0x7f || key == '\b'; }

// Sends a typed command as a line and shows the controller's answer.
void send_command(const char* command, int length) {
  if (!port_ready()) return;
  if (send_text(command, static_cast<std::size_t>(length)) != Reply::Done || send_text("\n") != Reply::Done) return;
  if (command[0] == 's') {
    reply_wait(settings.prompt, 0, 'v');
    reply_wait(settings.prompt, length, 'v');
    std::printf("\n-");
  } else {
    reply_wait(settings.prompt, length, 'e');
  }
}

// G-code commands typed by the operator while the download waits. What is sent is what the
// screen shows: Backspace takes back the last character on both, and no control character
// but the line end is ever sent.
Menu command_entry() {
  char command[kLineMax + 1];
  int length = 0;
  bool fits = true;
  for (;;) {
    int key = length == 0 ? std::tolower(operator_key()) : console_getkey();
    if (key == CONSOLE_END) {
      std::printf("program terminated\n");
      return Menu::Terminate;
    }
    if (is_erase(key)) {
      if (length > 0 && fits) {
        --length;
        std::printf("\b \b");
      }
      continue;
    }
    if (is_enter(key)) {
      // NOTE: an Enter with nothing typed is no command; a CRLF would otherwise send a blank line.
      if (length == 0) continue;
      command[length] = '\0';
      std::printf("\n");
      if (fits) {
        send_command(command, length);
      } else {
        std::printf("Command longer than %d characters - not sent\n-", kLineMax);
      }
      length = 0;
      fits = true;
      continue;
    }
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

Menu pause_menu(bool key_press) {
  progress_hide();
  if (key_press) {
    console_getkey();
    std::printf("\nProgram paused\n");
    progress_report();
  }
  std::printf("Press 'f' to enter a command,'e' to exit or any other key to continue\n");
  int key = std::tolower(operator_key());
  if (key == 'e') return Menu::ExitProgram;
  if (key == 'f') {
    std::printf("Enter G Code command, 'c' to continue or 'e' to exit\n-");
    if (command_entry() == Menu::Terminate) return Menu::Terminate;
  }
  std::printf("\n\n-");
  return Menu::Continue;
}

Outcome end_download(Menu menu) {
  if (menu == Menu::ExitProgram) std::printf("Exit program\n");
  progress_end(false);
  return Outcome::Exit;
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

// Sends one line of the program (number: its file line) and waits for its answer. Every way
// it can go wrong stops before the next line; the operator decides at the pause menu.
Menu send_line(const Line& line, long number, const char* name) {
  progress_line(number);
  Reply r = send_text(line.text, static_cast<std::size_t>(line.length));
  if (r == Reply::Done) r = send_text("\n");
  const bool sent = r == Reply::Done;
  if (sent) r = reply_wait(settings.prompt, line.length, 'v', line.text);
  while (r == Reply::Key) {
    Menu menu = pause_menu(true);
    if (menu != Menu::Continue) return menu;
    // The line is still being carried out: its answer is still due.
    r = reply_wait(settings.prompt, 0, 'v', "");
  }
  if (r == Reply::Done) {
    progress_sent();
    return Menu::Continue;
  }
  session.failed = true;
  progress_hide();
  if (r == Reply::Lost) {
    std::printf("\nSerial port COM%d is not open - download of %s stopped at line %ld\n", settings.port + 1, name,
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
  progress_report();
  Menu menu = pause_menu(false);
  if (menu == Menu::Continue) {
    if (sent) progress_sent();  // it went out: the count of lines sent says so
    // A late answer to the stopped line must not be taken for the echo of the next one.
    drain_replies();
  }
  return menu;
}

Outcome send_program(std::FILE* file, const char* name, long from) {
  Line line;
  long number = 0;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++number;
    // Once input has ended no key can come: the test would cost a call a line for nothing.
    if (number >= from && !console_ended() && console_keypressed()) {
      Menu menu = pause_menu(true);
      if (menu != Menu::Continue) return end_download(menu);
    }
    bool fits = read_line(file, c, line);
    if (number < from) continue;
    if (line.length > 0 && line.text[0] == ':') {
      progress_hide();
      std::printf("\nPause command found\n");
      std::fwrite(line.text, 1, static_cast<std::size_t>(line.length), stdout);
      std::printf("\n");
      progress_report();
      Menu menu = pause_menu(false);
      if (menu != Menu::Continue) return end_download(menu);
    } else if (is_sent(line)) {
      if (!fits) {
        progress_end(false);
        std::printf("\nLine %ld of %s is longer than %d characters - download stopped\n", number, name, kLineMax);
        return Outcome::Failed;
      }
      Menu menu = send_line(line, number, name);
      if (menu == Menu::LineLost) {
        progress_end(false);
        return Outcome::Failed;
      }
      if (menu != Menu::Continue) return end_download(menu);
    }
  }
  progress_end(true);
  return Outcome::Done;
}

// Before a resume: shows the moves that bring the tool back over the place where line
// `from` begins, and sends them once the operator agrees. Done when the program may go on.
Outcome re_enter(std::FILE* file, const char* name, long from) {
  ReEntry at = find_reentry(file, from);
  std::clearerr(file);
  if (std::fseek(file, 0, SEEK_SET) != 0) return Outcome::Failed;
  if (!at.moved) return Outcome::Done;  // nothing moved before it: the program starts there as it is
  if (at.feed <= 0.0) {
    std::printf("\nNo feed rate before line %ld of %s - cannot resume there, nothing sent\n", from, name);
    return Outcome::Failed;
  }
  char lines[kReEntryLines][128];
  reentry_lines(at, lines);
  std::printf("\nResume %s at line %ld. Re-entry moves:\n", name, from);
  for (const auto& text : lines) std::printf("  %s\n", text);
  if (at.origin_line > 0) {
    std::printf("Line %ld sets a new origin with G99: check the moves against it\n", at.origin_line);
  }
  std::printf("Press 'y' to send them and go on with line %ld, any other key to stop\n", from);
  if (std::tolower(operator_key()) != 'y') {
    std::printf("Resume cancelled - nothing sent\n");
    return Outcome::Failed;
  }
  std::printf("\n-");
  Line line{};
  for (const auto& text : lines) {
    line.length = std::snprintf(line.text, sizeof line.text, "%s", text);
    Menu menu = send_line(line, from, name);
    if (menu == Menu::LineLost) return Outcome::Failed;
    if (menu != Menu::Continue) return end_download(menu);
  }
  return Outcome::Done;
}

}  // namespace

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
    if (found.lines < from || !is_sent(line)) continue;
    ++found.to_send;
    if (!fits && found.too_long == 0) found.too_long = found.lines;
  }
  std::clearerr(file);
  return std::fseek(file, 0, SEEK_SET) == 0;
}

int operator_key() {
  int key = console_getkey();
  return key == CONSOLE_END ? 'e' : key;
}

bool choose_resume(const char* text) {
  char* end = nullptr;
  errno = 0;
  long line = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || line < 1) {
    std::printf("Unrecognized resume line: %s\n", text);
    return false;
  }
  resume_from = line;
  return true;
}

Outcome download(const char* name) {
  const long from = resume_from;
  resume_from = 1;
  std::FILE* file = open_for_reading(name);
  if (file == nullptr) {
    std::printf("File %s can't be found\n", name);
    session.failed = true;
    return Outcome::Failed;
  }
  Outcome outcome = Outcome::Failed;
  Survey found;
  bool surveyed = survey(file, from, found);
  if (session.open_port < 0) {
    std::printf("\nSerial port COM%d is not open - %s not sent\n", settings.port + 1, name);
  } else if (surveyed && found.too_long != 0) {
    std::printf("\nLine %ld of %s is longer than %d characters - nothing sent\n", found.too_long, name, kLineMax);
  } else if (from > 1 && !surveyed) {
    std::printf("\n%s cannot be read twice - no resume from line %ld\n", name, from);
  } else if (from > found.lines) {
    std::printf("\n%s has no line %ld - nothing sent\n", name, from);
  } else {
    // Keys typed while the controller works are kept for the pause, never shown in its echo.
    console_hold(true);
    outcome = from == 1 ? Outcome::Done : re_enter(file, name, from);
    if (outcome == Outcome::Done) {
      std::printf("\n-");
      progress_begin(surveyed ? found.to_send : 0);
      outcome = send_program(file, name, from);
    }
    console_hold(false);
  }
  std::fclose(file);
  if (outcome != Outcome::Done) session.failed = true;
  return outcome;
}
