// download.cpp - the program download, the pause menu and command entry.
#include "download.h"

#include <cctype>
#include <cstdio>

#include "console.h"
#include "files.h"
#include "link.h"
#include "settings.h"
#include "text.h"

namespace {

enum class Menu { Continue, ExitProgram, Terminate };

bool is_enter(int key) { return key == '\r' || key == '\n'; }

// Sends a typed command as a line and shows the controller's answer.
void send_command(const char* command, int length) {
  if (!port_ready()) return;
  if (!send_text(command, static_cast<std::size_t>(length)) || !send_text("\n")) return;
  if (command[0] == 's') {
    reply_wait(settings.prompt, 0, 'v');
    reply_wait(settings.prompt, length, 'v');
    std::printf("\n-");
  } else {
    reply_wait(settings.prompt, length, 'e');
  }
}

// G-code commands typed by the operator while the download waits.
Menu command_entry() {
  char command[kLineMax + 1];
  for (;;) {
    int key = std::tolower(operator_key());
    // NOTE: an Enter with nothing typed is no command; a CRLF would otherwise send a blank line.
    if (is_enter(key)) continue;
    std::putchar(key);
    if (key == 'c') return Menu::Continue;
    if (key == 'e') {
      std::printf("program terminated\n");
      return Menu::Terminate;
    }
    int length = 0;
    bool fits = true;
    command[length++] = static_cast<char>(key);
    for (int typed = console_getkey(); !is_enter(typed); typed = console_getkey()) {
      if (typed == CONSOLE_END) {
        std::printf("program terminated\n");
        return Menu::Terminate;
      }
      std::putchar(typed);
      if (length < kLineMax) {
        command[length++] = static_cast<char>(typed);
      } else {
        fits = false;
      }
    }
    command[length] = '\0';
    std::printf("\n");
    if (!fits) {
      std::printf("Command longer than %d characters - not sent\n-", kLineMax);
      continue;
    }
    send_command(command, length);
  }
}

Menu pause_menu(bool key_press) {
  if (key_press) {
    console_getkey();
    std::printf("\nProgram paused\n");
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

// The number of the first line that is too long to send, or 0. A file that cannot be read
// twice (a pipe) is not checked here; its download stops at such a line instead.
long first_long_line(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  Line line;
  long number = 0;
  long found = 0;
  for (int c; found == 0 && (c = std::getc(file)) != EOF;) {
    ++number;
    if (!read_line(file, c, line)) found = number;
  }
  std::clearerr(file);
  std::fseek(file, 0, SEEK_SET);
  return found;
}

Outcome end_download(Menu menu) {
  if (menu == Menu::ExitProgram) std::printf("Exit program\n");
  return Outcome::Exit;
}

Outcome send_program(std::FILE* file, const char* name) {
  Line line;
  long number = 0;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++number;
    // Once input has ended no key can come: the test would cost two calls a line for nothing.
    if (!console_ended() && console_keypressed()) {
      Menu menu = pause_menu(true);
      if (menu != Menu::Continue) return end_download(menu);
    }
    if (!read_line(file, c, line)) {
      std::printf("\nLine %ld of %s is longer than %d characters - download stopped\n", number, name, kLineMax);
      return Outcome::Failed;
    }
    if (line.length > 0 && line.text[0] == ':') {
      std::printf("\nPause command found\n");
      std::fwrite(line.text, 1, static_cast<std::size_t>(line.length), stdout);
      std::printf("\n");
      Menu menu = pause_menu(false);
      if (menu != Menu::Continue) return end_download(menu);
    } else if (line.length == 0 || line.text[0] != ';') {
      if (send_text(line.text, static_cast<std::size_t>(line.length)) && send_text("\n") &&
          reply_wait(settings.prompt, line.length, 'v') == Reply::TimedOut) {
        session.failed = true;  // the line went out, but the controller never confirmed it
      }
      if (session.open_port < 0) {
        std::printf("\nSerial port COM%d is not open - download of %s stopped at line %ld\n", settings.port + 1,
                    name, number);
        return Outcome::Failed;
      }
    }
  }
  return Outcome::Done;
}

}  // namespace

int operator_key() {
  int key = console_getkey();
  return key == CONSOLE_END ? 'e' : key;
}

Outcome download(const char* name) {
  std::FILE* file = open_for_reading(name);
  if (file == nullptr) {
    std::printf("File %s can't be found", name);
    session.failed = true;
    return Outcome::Failed;
  }
  Outcome outcome = Outcome::Failed;
  if (session.open_port < 0) {
    std::printf("\nSerial port COM%d is not open - %s not sent\n", settings.port + 1, name);
  } else if (long number = first_long_line(file)) {
    std::printf("\nLine %ld of %s is longer than %d characters - nothing sent\n", number, name, kLineMax);
  } else {
    std::printf("\n-");
    outcome = send_program(file, name);
  }
  std::fclose(file);
  if (outcome != Outcome::Done) session.failed = true;
  return outcome;
}
