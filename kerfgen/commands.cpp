// commands.cpp - the command table and the reading of each command's arguments.
#include "commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <utility>

#include "files.h"
#include "params.h"
#include "setup.h"
#include "writer.h"
#include "operations/circles.h"
#include "operations/cylinders.h"
#include "operations/disks.h"
#include "operations/drilling.h"
#include "operations/hexagons.h"
#include "operations/lathe.h"
#include "operations/lines.h"
#include "operations/paths.h"
#include "operations/pockets.h"
#include "operations/rectangles.h"
#include "operations/sprockets.h"
#include "operations/stencils.h"
#include "operations/threads.h"

bool viewer_requested = false;

namespace {

void report_script_end(const char* command) {
  write_text("; error - %s: the script ends before all its arguments\n", command);
}

void report_not_finite(const char* command, int position) {
  write_text("; error - %s: argument %d is not a finite number\n", command, position);
}

// change mill_bit d / change drill_bit d: a tool change with an operator stop. Only a mill
// bit changes the tool radius that the operations offset by.
void run_change(const Args&) {
  char word[kWordSize];
  script_word(word);
  if (script.ended) return report_script_end("change");
  bool mill = strcasecmp(word, "mill_bit") == 0;
  if (!mill && strcasecmp(word, "drill_bit") != 0) return;
  double d = script_real();
  if (script.ended) return report_script_end("change");
  if (!std::isfinite(d)) return report_not_finite("change", 2);
  if (mill) {
    params.mill_bit = d;
    params.tool_radius = d / 2;
    write_text("; Change mill bit diameter to: %f - press c to continue\n", d);
  } else {
    params.drill_bit = d;
    write_text("; Change drill bit diameter to: %f - press c to continue\n", d);
  }
  write_stop();
}

// Cutting operations: the checks the interpreter makes before the call.

// "left" and "right" offset by the tool radius; any other word cuts on the line. The letter
// stays in toolrad_comp after the command.
char side_letter(const char* word) {
  char side = strcasecmp(word, "left") == 0 ? 'l' : strcasecmp(word, "right") == 0 ? 'r' : 'c';
  params.toolrad_comp = side;
  return side;
}

void run_peck_drill(const Args& a) {
  char withdraw = letter_in(a.word[0], "yn");
  if (withdraw == 0) {
    write_text("; error - withdraw parameter must be y or n\n");
    withdraw = 'n';
  }
  peck_drill(withdraw, a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5]);
}

// The script gives the circle's radius; the tool centre runs inside it, outside it, or on it.
void run_mill_circle(const Args& a) {
  double rho = a.real[2], R = params.tool_radius, r = rho + R;
  if (params.mill_mode == 'c') {
    r = rho;
  } else if (params.mill_mode == 'i') {
    if (!(rho > R)) {
      std::printf("Error - Tool radius greater than circle radius\n");
      return;
    }
    r = rho - R;
  }
  mill_circle(a.real[0], a.real[1], r, a.real[3], a.real[4]);
}

void run_mill_circle_surface(const Args& a) {
  if (!(a.real[2] > params.tool_radius)) {
    std::printf("Error - Tool radius greater than or equal to circle radius\n");
    return;
  }
  mill_circle_surface(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4]);
}

// The mode word is stored as mill_mode, where it stays for later commands.
void run_mill_box(const Args& a) {
  char mode = letter_in(a.word[0], "ioc");
  if (mode == 0) {
    write_text("; error - mill_mode parameter must be i, o or c\n");
    mode = 'c';
  }
  params.mill_mode = mode;
  mill_box(mode, a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5]);
}

void run_mill_round_box(const Args& a) {
  if (a.real[4] < params.tool_radius) {
    std::printf("; Error: Tool too large for corner radius");
    return;
  }
  mill_round_box(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5], a.real[6]);
}

// The handler of a row that passes its real arguments to the operation as read, in order.
template <typename... Reals>
constexpr std::size_t arity(void (*)(Reals...)) {
  return sizeof...(Reals);
}
template <typename... Reals, std::size_t... I>
void forward_reals(void (*operation)(Reals...), const Args& a, std::index_sequence<I...>) {
  operation(a.real[I]...);
}
template <auto operation>
void reals(const Args& a) {
  forward_reals(operation, a, std::make_index_sequence<arity(operation)>{});
}

// Each pocket direction word outside c/w is reported and cut as c.
void run_mill_pocket(const Args& a) {
  char turn[2];
  for (int k = 0; k < 2; ++k) {
    turn[k] = letter_in(a.word[k], "cw");
    if (turn[k] == 0) {
      write_text("; error - direction parameter must be c or w\n");
      turn[k] = 'c';
    }
  }
  mill_pocket(a.real[0], turn[0], turn[1], a.real[1], a.real[2]);
}

const Command kCommands[] = {
    // Set-up and control
    {"toolpath", "", [](const Args&) { viewer_requested = true; }, nullptr},
    {"change", nullptr, run_change, nullptr},
    {"calibrate", "", [](const Args&) {}, nullptr},
    {"wait", "w",
     [](const Args& a) {
       // The closing pause is always made; only the word is checked.
       if (letter_in(a.word[0], "yn") == 0) write_text("; error - wait parameter must be y or n\n");
     },
     nullptr},
    {"backlash", "iiii",
     [](const Args& a) { backlash(a.integer[0], a.integer[1], a.integer[2], a.integer[3]); },
     nullptr},
    {"home", "", [](const Args&) { go_home(); }, nullptr},
    {"align", "", [](const Args&) { align(); }, nullptr},
    {"home_shift", "rrrr",
     [](const Args& a) { home_shift(a.real[0], a.real[1], a.real[2], a.real[3]); }, nullptr},
    {"home_set", "rrrr",
     [](const Args& a) { home_set(a.real[0], a.real[1], a.real[2], a.real[3]); }, nullptr},
    {"home_zero", "", [](const Args&) { home_zero(); }, nullptr},
    {"entry_move", "rrrrr",
     [](const Args& a) { entry_move(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4]); },
     nullptr},
    {"exit_move", "rr", [](const Args& a) { exit_move(a.real[0], a.real[1]); }, nullptr},

    // Cutting operations: drilling, lines and arcs, circles, rectangles
    {"drill_hole", "rrrr",
     [](const Args& a) { drill_hole(a.real[0], a.real[1], a.real[2], a.real[3]); }, nullptr},
    {"peck_drill", "wrrrrrr", run_peck_drill, nullptr},
    {"drill_array", "rrrrrrrr",
     [](const Args& a) {
       drill_array(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5], a.real[6],
                   a.real[7]);
     },
     nullptr},
    {"mill_hole", "rrrr",
     [](const Args& a) { mill_hole(a.real[0], a.real[1], a.real[2], a.real[3]); }, nullptr},
    {"move_line2", "wrrrr",
     [](const Args& a) {
       move_line2(side_letter(a.word[0]), a.real[0], a.real[1], a.real[2], a.real[3]);
     },
     nullptr},
    {"mill_line", "wrrrrrr",
     [](const Args& a) {
       mill_line(side_letter(a.word[0]), a.real[0], a.real[1], a.real[2], a.real[3], a.real[4],
                 a.real[5]);
     },
     nullptr},
    {"mill_arc", "rrrrrrrr",
     [](const Args& a) {
       mill_arc(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5], a.real[6],
                a.real[7]);
     },
     nullptr},
    {"mill_circle", "rrrrr", run_mill_circle, nullptr},
    {"mill_circle_surface", "rrrrr", run_mill_circle_surface, nullptr},
    {"mill_circle_helix", "rrrrr",
     [](const Args& a) {
       mill_circle_helix(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4]);
     },
     nullptr},
    {"mill_surface", "rrrrrr",
     [](const Args& a) {
       mill_surface(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5]);
     },
     nullptr},
    {"mill_square", "rrrrrr",
     [](const Args& a) {
       mill_square(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5]);
     },
     nullptr},
    {"mill_surface_square", "rrrrrr",
     [](const Args& a) {
       mill_surface_square(a.real[0], a.real[1], a.real[2], a.real[3], a.real[4], a.real[5]);
     },
     nullptr},
    {"mill_box", "wrrrrrr", run_mill_box, nullptr},
    {"mill_round_box", "rrrrrrr", run_mill_round_box, nullptr},

    // Lathe operations, disk and array jobs, stencil jobs
    {"lathe_diameter", "rrrr", reals<lathe_diameter>, " Lathe diameter\n"},
    {"lathe_slope", "rrrr", reals<lathe_slope>, " Lathe slope\n"},
    {"lathe_angle", "rrrr", reals<lathe_angle>, " Lathe angle\n"},
    {"lathe_radius", "rrr", reals<lathe_radius>, "lathe_radius "},
    {"lathe_pulley", "rrrrrrrr", reals<lathe_pulley>, "lathe_pulley "},
    {"lathe_pulley2", "rrrrrrrrrr", reals<lathe_pulley2>, "lathe_pulley2 "},
    {"drill_encoder_disk", "rirr",
     [](const Args& a) { drill_encoder_disk(a.real[0], a.integer[0], a.real[1], a.real[2]); },
     nullptr},
    {"disk_array", "r", reals<disk_array>, nullptr},
    {"mill_qfp176", "rrr", reals<mill_QFP176>, " detected QFP 176\n"},
    {"mill_tssop54", "rrr", reals<mill_TSSOP54>, " detected TSSOP 54\n"},

    // Contours: a path read from its own file, and round stock
    {"mill_path", "rrf",
     [](const Args& a) {
       // The interpreter opens the path file and closes it after the cut.
       std::FILE* path = open_for_reading(a.word[0]);
       if (path == nullptr) {
         std::printf("File \"%s\" can't be opened\n", a.word[0]);
         return;
       }
       mill_path(a.real[0], a.real[1], a.word[0], path);
       std::fclose(path);
     },
     nullptr},
    {"mill_cylinder", "rrrr", reals<mill_cylinder>, nullptr},

    // Multi-pass features: round pockets, threads, sprockets, hexagons
    {"mill_pocket", "rwwrr", run_mill_pocket, nullptr},
    {"mill_thread", "rrrrr", reals<mill_thread>, nullptr},
    {"mill_sprocket", "rrirrrr",
     [](const Args& a) {
       mill_sprocket(a.real[0], a.real[1], a.integer[0], a.real[2], a.real[3], a.real[4],
                     a.real[5]);
     },
     nullptr},
    {"mill_hex", "rrrr", reals<mill_hex>, nullptr},
};

}  // namespace

const Command* find_command(const char* word) {
  for (const Command& command : kCommands)
    if (std::strcmp(command.word, word) == 0) return &command;
  return nullptr;
}

namespace {

// Edits from a to b, a swap of two neighbours counting as one, or more than `most` once they
// are sure to be.
std::size_t edits(const char* a, const char* b, std::size_t most) {
  std::size_t n = std::strlen(a), m = std::strlen(b);
  if ((n > m ? n - m : m - n) > most || n >= kWordSize || m >= kWordSize) return most + 1;
  // Three rows of the table, for the swap.
  static std::size_t rows[3][kWordSize];
  std::size_t *before = rows[0], *last = rows[1], *now = rows[2];
  for (std::size_t j = 0; j <= m; ++j) last[j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    now[0] = i;
    for (std::size_t j = 1; j <= m; ++j) {
      std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      std::size_t best = std::min({last[j] + 1, now[j - 1] + 1, last[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        best = std::min(best, before[j - 2] + 1);
      now[j] = best;
    }
    std::size_t* spare = before;
    before = last;
    last = now;
    now = spare;
  }
  return last[m];
}

}  // namespace

const char* nearest_keyword(const char* word) {
  const char* nearest = nullptr;
  std::size_t fewest = 3;  // at most two letters away
  auto consider = [&](const char* keyword) {
    std::size_t d = edits(word, keyword, fewest - 1);
    if (d < fewest) {
      fewest = d;
      nearest = keyword;
    }
  };
  for (const Command& command : kCommands) consider(command.word);
  for (std::size_t k = 0; param_keyword(k) != nullptr; ++k) consider(param_keyword(k));
  return nearest;
}

namespace {

// Reads the arguments in the command's order. False, with the error comment written, when the
// script ends before them or a number is not finite.
bool read_arguments(const Command& command, Args& args) {
  int reals = 0, integers = 0, words = 0;
  int position = 0, first_bad = 0;
  for (const char* kind = command.kinds; *kind != '\0' && !script.ended; ++kind) {
    ++position;
    switch (*kind) {
      case 'r': {
        double value = script_real();
        args.real[reals++] = value;
        if (!std::isfinite(value) && first_bad == 0) first_bad = position;
        break;
      }
      case 'i':
        args.integer[integers++] = script_integer();
        break;
      case 'w':
        script_word(args.word[words++]);
        break;
      case 'f':
        script_word(args.word[words++]);
        echo("\n");
        break;
    }
  }
  if (script.ended) {
    report_script_end(command.word);
    return false;
  }
  if (first_bad != 0) {
    report_not_finite(command.word, first_bad);
    return false;
  }
  return true;
}

}  // namespace

void run_command(const Command& command) {
  if (command.announce != nullptr) std::fputs(command.announce, stdout);
  Args args{};
  if (command.kinds != nullptr && !read_arguments(command, args)) return;
  command_begin();
  command.run(args);
  command_end(command.word);
}

void run_param(const ParamDef& def) {
  switch (def.kind) {
    case ParamKind::Real: {
      double value = script_real();
      if (script.ended) return report_script_end(def.keyword);
      if (std::isfinite(value))
        store_real(def, value);
      else
        write_text("; error - %s must be a finite number\n", def.keyword);
      write_text(def.confirmation, params.*def.real);
      return;
    }
    case ParamKind::Integer: {
      int value = script_integer();
      if (script.ended) return report_script_end(def.keyword);
      params.*def.integer = value;
      write_text(def.confirmation, value);
      return;
    }
    case ParamKind::Letter: {
      char word[kWordSize];
      script_word(word);
      if (script.ended) return report_script_end(def.keyword);
      bool accepted = false;
      char letter = letter_for(def, word, &accepted);
      if (accepted) {
        if (const char* line = modal_line(def, letter)) write_modal(line);
      } else {
        write_text("%s", def.error);
      }
      params.*def.letter = letter;
      write_text(def.confirmation, letter);
      return;
    }
  }
}
