// program.cpp - Kerfsend's start-up and its command-line options.
#include "program.h"

#include <cctype>
#include <cstdio>

#include "console.h"
#include "download.h"
#include "files.h"
#include "interactive.h"
#include "link.h"
#include "settings.h"
#include "text.h"

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 9;

void load_configuration() {
  std::FILE* file = open_file("ksconfig.txt", "r");
  if (file == nullptr) return;
  read_config(file);
  std::fclose(file);
}

// Acts on one option, the text after its "-"; false when the run must end at once. An
// option that takes a value and has none takes the next argument (-f part.nc) unless that is
// an option itself; *used is then set. -r alone resumes where the journal says.
bool run_option(const char* option, const char* next, bool* used) {
  const int letter = std::tolower(static_cast<unsigned char>(option[0]));
  const char* value = option + 1;
  const bool has_value = letter == 'c' || letter == 'b' || letter == 'f' || letter == 'r';
  if (*value == '\0' && next != nullptr && next[0] != '-' && has_value) {
    value = next;
    *used = true;
  }
  switch (letter) {
    case 'c':
      choose_port(value);
      break;
    case 'b':
      choose_baud(value);
      break;
    case 'f':
      if (*value == '\0') {
        std::printf("No file name given after -f\n");
        session.failed = true;
        break;
      }
      return download(value) != Outcome::Exit;
    case 'r':
      if (!choose_resume(value)) session.failed = true;
      break;
    case 'w':
      follow_next = true;
      break;
    case 'h':
      print_help();
      break;
    case '-':
      if (same_word(value, "help")) print_help();
      break;
    default:
      break;  // -g, -n and -a are listed in the help but act only at the prompt
  }
  return true;
}

}  // namespace

int kerfsend_main(int argc, char** argv) {
  console_init();
  // Ctrl-C stops a download where the journal and the port can still be put in order.
  console_catch_interrupt();
  reset_link();
  load_configuration();
  std::printf("HB617G DNC Program V%d.%.2d\n", kVersionMajor, kVersionMinor);
  std::printf("Type 'e' to exit, 'h' for help)\n");
  if (argc < 2) {
    std::printf("  Use COM%d,%d,N,1 - change using c or b commands\n", settings.port + 1,
                baud_number(settings.baud_code));
    std::printf("\n-");
    open_at_start();
    return interactive_loop();
  }
  open_at_start();
  for (int k = 1; k < argc; ++k) {
    if (argv[k][0] != '-') continue;
    bool used = false;
    if (!run_option(argv[k] + 1, k + 1 < argc ? argv[k + 1] : nullptr, &used)) return exit_run();
    if (console_interrupted() != 0) break;
    if (used) ++k;
  }
  return finish_run();
}
