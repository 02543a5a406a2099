// interactive.cpp - the interactive command loop, the aux output test and the vacuum head.
#include "interactive.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "download.h"
#include "link.h"
#include "settings.h"
#include "text.h"

namespace {

constexpr int kAuxOnMs = 250;  // four outputs a cycle: one cycle a second

// A key ended a wait for the controller: the keys typed then are dropped, not read as the next
// command, and the operator is told so.
void key_ended_wait() {
  drop_keys();
  std::printf("\nA key ended the wait for the controller's answer - the keys typed meanwhile are dropped\n");
}

// Sends a command that carries its own line end and shows the controller's answer. Keys
// typed meanwhile are not shown in the answer.
void exchange(const char* text, int length, char mode) {
  if (!port_ready()) return;
  console_hold(true);
  if (send_text(text, static_cast<std::size_t>(length)) == Reply::Done) {
    if (reply_wait(settings.prompt, length, mode) == Reply::Key) key_ended_wait();
  }
  console_hold(false);
}

void move_head(float x, float feed) {
  char text[160];
  int length = std::snprintf(text, sizeof text, "N1 G1 X%1.4f F%1.4f\n", static_cast<double>(x), static_cast<double>(feed));
  exchange(text, length, 'v');
}

void skip_rest_of_line(int after) {
  for (int c = after; c != '\n' && c != EOF;) c = std::getc(stdin);
}

// Reads four numbers, as many lines as they take, and the rest of the last line; false, and
// nothing changed, unless all four are finite numbers.
bool read_four(float (&value)[4]) {
  std::fflush(stdout);
  float read[4];
  int after = EOF;
  for (float& v : read) {
    char word[64];
    if (read_word(stdin, word, sizeof word, &after) != WordRead::Word) {
      skip_rest_of_line(after);
      return false;
    }
    char* end = nullptr;
    v = std::strtof(word, &end);
    if (end == word || *end != '\0' || !std::isfinite(v)) {
      skip_rest_of_line(after);
      return false;
    }
  }
  skip_rest_of_line(after);
  std::memcpy(value, read, sizeof read);
  return true;
}

// A typed G-code line: the prefix, the command word and the rest of the typed line.
void send_typed_line(const char* prefix, const char* word, int after) {
  Line rest;
  rest.length = 0;
  bool fits = true;
  if (after != '\n' && after != EOF) fits = read_line(stdin, after, rest);
  char text[kLineMax + 2];
  int length = std::snprintf(text, sizeof text, "%s%s", prefix, word);
  if (!fits || length < 0 || length + rest.length > kLineMax) {
    std::printf("\nCommand longer than %d characters - not sent\n", kLineMax);
    return;
  }
  std::memcpy(text + length, rest.text, static_cast<std::size_t>(rest.length));
  length += rest.length;
  // A control character shows on the screen as something other than what it sends (or as
  // nothing): the controller gets only what the operator could read.
  for (int k = 0; k < length; ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    if ((c < ' ' && c != '\t') || c == 0x7f) {
      std::printf("\nCommand holds a control character - not sent\n");
      return;
    }
  }
  // NOTE: the command goes out with one line end, the typed one, or one added when the input
  // ended without it: a line the controller never sees end would never be answered.
  text[length++] = '\n';
  exchange(text, length, 'q');
}

// The identification is shown as it comes, up to the moment the line falls quiet: the
// controller's answer to "v" has no fixed number of prompts to count, and waiting for prompts
// that never come held the program for a reply limit each.
void identify() {
  if (!port_ready()) return;
  console_hold(true);
  if (send_text("v") == Reply::Done && show_answer() == Reply::Key) key_ended_wait();
  console_hold(false);
}

// The value of a command: the rest of its word, or, when the word is the letter alone, the
// next word typed on the same line (f part.nc, as -f part.nc on the command line).
const char* value_of(const char* word, int* after, char (&next)[kLineMax + 1]) {
  if (word[1] != '\0' || *after == '\n' || *after == EOF) return word + 1;
  int c = std::getc(stdin);
  while (c == ' ' || c == '\t' || c == '\r') c = std::getc(stdin);
  if (c == '\n' || c == EOF) {
    *after = c;
    return word + 1;
  }
  std::ungetc(c, stdin);
  return read_word(stdin, next, sizeof next, after) == WordRead::Word ? next : word + 1;
}

}  // namespace

int finish_run() {
  int status = session.failed || session.open_port < 0 ? 1 : 0;
  close_link();
  return console_interrupted() != 0 ? 128 + console_interrupted() : status;
}

int exit_run() {
  close_link();
  return console_interrupted() != 0 ? 128 + console_interrupted() : 1;
}

void aux_test(int on_ms) {
  static const char* const kOn[] = {"M51\n", "M53\n", "M55\n", "M57\n"};
  static const char* const kOff[] = {"M52\n", "M54\n", "M56\n", "M58\n"};
  if (!port_ready()) return;
  std::printf("Toggle Aux Lines at 1Hz rate\n");
  std::printf("Hit any key to stop");
  std::fflush(stdout);
  // NOTE: the end of input stops the test as a key would; nobody is there to stop it later.
  while (!console_keypressed() && !console_ended() && console_interrupted() == 0 && session.open_port >= 0) {
    for (int k = 0; k < 4 && session.open_port >= 0; ++k) {
      send_text(kOn[k]);
      delay_ms(on_ms);
      send_text(kOff[k]);
    }
  }
  if (console_keypressed()) console_getkey();
  // The controller answered commands that nobody waited for; those answers must not be
  // taken for the echo of the next line.
  drain_replies();
}

void vacuum_head(int after) {
  float lift_height = 0.15f;
  float lift_rate = 5.0f;
  float place_height = -0.05f;
  float place_rate = 5.0f;
  std::printf("Vacuum Head Processor\n  Lift height=%1.4f Lift rate=%1.4f  Place height=%1.4f Place rate=%1.4f\n",
              static_cast<double>(lift_height), static_cast<double>(lift_rate), static_cast<double>(place_height),
              static_cast<double>(place_rate));
  std::printf("  l-lift, p-place, a-adjust, e-exit\n=");
  if (after == EOF || std::tolower(after) == 'e') return;
  for (;;) {
    int key = std::tolower(operator_key());
    std::putchar(key);
    if (key == 'e') break;
    if (key == 'a') {
      std::printf("\n=New lift hgt, lift rate, place hgt, place rate: ");
      float value[4];
      if (read_four(value)) {
        lift_height = value[0];
        lift_rate = value[1];
        place_height = value[2];
        place_rate = value[3];
        std::printf("New settings: %1.4f %1.4f %1.4f %1.4f\n=", static_cast<double>(lift_height),
                    static_cast<double>(lift_rate), static_cast<double>(place_height), static_cast<double>(place_rate));
      } else {
        std::printf("Settings not changed - four numbers are needed\n=");
      }
    } else if (key == 'l') {
      std::printf("\n lift part");
      move_head(lift_height, lift_rate);
    } else if (key == 'p') {
      std::printf("\n place part");
      move_head(place_height, place_rate);
      std::printf(" - dwell");
      exchange("N1 G04 P2\n", 10, 'v');
      std::printf(" - lift part");
      move_head(0.0f, lift_rate);
    }
    std::printf("\n=");
  }
}

void print_help() {
  std::printf("Command options:\n\n");
  std::printf("  -ffilename  - download G Code file 'filename'\n");
  std::printf("  -gxxxxx     - Send G Code command(s) to HB617\n");
  std::printf("  -nxxxxx     - Send G Code command(s) to HB617\n");
  std::printf("  -a          - Toggle Aux Outputs at 4Hz Rate\n");
  std::printf("  -cCOMx      - Set serial communication channel to COMx\n");
  std::printf("  -bnnnn      - Set baud rate to nnnn (2400-115200 default 115200)\n");
  std::printf("  -rnnnn      - Begin the next download at its file line nnnn\n");
  std::printf("  -r          - Begin the next download where its journal says it stopped\n");
  std::printf("  -w          - Show the next download in Kerfdisplay as it runs\n");
  std::printf("  -h          - output help menu\n\n");
  std::printf("  G Code files may contain comments ';' or embedded pause commands ':' \n");
  std::printf("  Press any key to pause output \n\n");
}

int interactive_loop() {
  char word[kLineMax + 1];
  for (;;) {
    std::fflush(stdout);
    int after = EOF;
    if (console_interrupted() != 0) return finish_run();
    WordRead read = read_word(stdin, word, sizeof word, &after);
    // NOTE: the end of input ends the run as 'e' does; nobody is left to type it. Ctrl-C ends
    // the read as the end of input.
    if (read == WordRead::End) return finish_run();
    // The forms of the help text (-fpart.nc, -h) are taken at the prompt as well.
    char* typed = word;
    while (typed[0] == '-' && typed[1] != '\0') ++typed;
    int command = std::tolower(static_cast<unsigned char>(typed[0]));
    if (read == WordRead::TooLong) {
      // The rest of the line belongs to the word (a G-code command, say): none of it is used.
      skip_rest_of_line(after);
      std::printf("\nCommand longer than %d characters - ignored\n", kLineMax);
      command = 0;
    }
    char next[kLineMax + 1];
    const bool has_value = command == 'c' || command == 'b' || command == 'f' || command == 'r';
    const char* rest = has_value ? value_of(typed, &after, next) : typed + 1;
    switch (command) {
      case 'c':
        choose_port(rest);
        break;
      case 'b':
        choose_baud(rest);
        break;
      case 'f':
        // What is left of the typed line belongs to the command, not to the download's key test.
        if (after != '\n' && after != EOF) console_drop_line();
        if (download(rest) == Outcome::Exit) return exit_run();
        break;
      case 'r':
        choose_resume(rest);
        break;
      case 'g':
        send_typed_line("n1 ", typed, after);
        break;
      case 'n':
        send_typed_line("", typed, after);
        break;
      case 'i':
        identify();
        continue;  // the identification is the last thing on screen: no prompt follows
      case 'a':
        aux_test(kAuxOnMs);
        break;
      case 'h': {
        int second = std::tolower(static_cast<unsigned char>(typed[1]));
        if (second != 'f' && second != 'o') print_help();  // hf and ho are accepted and do nothing
        break;
      }
      case 'v':
        vacuum_head(after);
        break;
      case 'q':
        settings.quiet = true;
        break;
      case 'w':
        follow_next = true;
        break;
      case 'e':
        return finish_run();
      default:
        break;
    }
    std::printf("\n-");
  }
}
