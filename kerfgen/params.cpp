// params.cpp - parameter defaults, the keyword table and the configuration reader.
#include "params.h"

#include <cmath>
#include <cstring>

#include "reader.h"
#include "setup.h"
#include "writer.h"

Params params;

namespace {

constexpr ParamDef real(const char* keyword, double Params::*value, const char* confirmation,
                        bool sets_tool_radius = false) {
  return {keyword, ParamKind::Real, value, nullptr, nullptr, confirmation, nullptr, 0, nullptr,
          nullptr, nullptr, sets_tool_radius, false};
}

constexpr ParamDef integer(const char* keyword, int Params::*value, const char* confirmation) {
  return {keyword, ParamKind::Integer, nullptr, value, nullptr, confirmation, nullptr, 0, nullptr,
          nullptr, nullptr, false, false};
}

constexpr ParamDef letter(const char* keyword, char Params::*value, const char* confirmation,
                          const char* accepted, char fallback, const char* error,
                          const char* modal_first = nullptr, const char* modal_second = nullptr,
                          bool script_only = false) {
  return {keyword, ParamKind::Letter, nullptr, nullptr, value, confirmation, accepted, fallback,
          error, modal_first, modal_second, false, script_only};
}

const ParamDef kParams[] = {
    real("mill_bit", &Params::mill_bit, "; Tool diameter set to %f\n", true),
    real("drill_bit", &Params::drill_bit, "; Drill diameter set to %f\n", true),
    real("depth_cut", &Params::depth_cut, "; depth_cut set to %f\n"),
    real("lathe_cut", &Params::lathe_cut, "; lathe_cut set to %f\n"),
    real("lift_height", &Params::lift_height, "; lift height set to %f\n"),
    real("off_contact", &Params::off_contact, "; off_contact set to %f\n"),
    real("feedrate_cut", &Params::feedrate_cut, "; feedrate_cut set to %f\n"),
    real("feedrate_rough", &Params::feedrate_rough, "; feedrate_rough set to %f\n"),
    real("feedrate_finish", &Params::feedrate_finish, "; feedrate_finish set to %f\n"),
    real("feedrate_plunge", &Params::feedrate_plunge, "; feedrate_plunge set to %f\n"),
    real("feedrate_lathe", &Params::feedrate_lathe, "; feedrate_lathe set to %f\n"),
    real("feedrate_max", &Params::feedrate_max, "; feedrate_max set to %f\n"),
    real("cut_rough", &Params::cut_rough, "; cut_rough set to %f\n"),
    real("cut_finish", &Params::cut_finish, "; cut_finish set to %f\n"),
    integer("numfinishcuts", &Params::numfinishcuts, "; numfinishcuts set to %d\n"),
    integer("repetitions", &Params::repetitions, "; repetitions set to %d\n"),
    letter("mill_mode", &Params::mill_mode, "; mill_mode set to %c\n", "ioc", 'i',
           "; error - mill_mode parameter must be i, o or c\n"),
    letter("thread_hand", &Params::thread_hand, "; thread_hand set to %c\n", "rl", 'r',
           "; error - thread_hand parameter must be r or l\n"),
    letter("arc_format", &Params::arc_format, "; arc_format set to %c\n", "cr", 'c',
           "; error - arc_format parameter must be c or r\n"),
    letter("verbose", &Params::verbose, "; verbose set to %c\n", "yn", 'n',
           "; error - verbose parameter must be y or n\n"),
    letter("re_wind", &Params::re_wind, "; re_wind set to %c\n", "yn", 'n',
           "; error - re_wind parameter must be y or n\n"),
    letter("distance_mode", &Params::distance_mode, "; distance_mode set to %c\n", "ai", 'a',
           "; error - distance_mode parameter must be a or i\n", "g90\n", "g91\n"),
    letter("ij_mode", &Params::ij_mode, "; ij_mode set to %c\n", "ai", 'a',
           "; error - ij_mode parameter must be a or i\n", "g90.1\n", "g91.1\n"),
    letter("mill_dir", &Params::mill_dir, "; mill_dir set to %c\n", "cw", 'w',
           "; error - mill_dir parameter must be c or w\n"),
    letter("climb", &Params::climb, "; climb set to %c\n", "yn", 'y',
           "; error - climb parameter must be y or n\n"),
    letter("toolrad_comp", &Params::toolrad_comp, "; toolrad_comp set to %c\n", "lrc", 'l',
           "; error - toolrad_comp parameter must be l, r or c\n"),
    letter("lift", &Params::lift, "; lift set to %c\n", "yn", 'y',
           "; error - lift parameter must be y or n\n"),
    letter("reverse_path", &Params::reverse_path, "; reverse_path set to %c\n", "yn", 'n',
           "; error - reverse_path parameter must be y or n\n", nullptr, nullptr, true),
};

// Keeps the current value when the file ends where a value should stand.
void read_config_value(std::FILE* file, const ParamDef& def) {
  char word[kWordSize];
  if (!read_value_word(file, word)) return;
  switch (def.kind) {
    case ParamKind::Real: {
      double value = to_real(word);
      if (!std::isfinite(value)) {
        std::printf("; error - %s must be a finite number\n", def.keyword);
        return;
      }
      store_real(def, value);
      return;
    }
    case ParamKind::Integer:
      params.*def.integer = to_integer(word);
      return;
    case ParamKind::Letter: {
      bool accepted = false;
      params.*def.letter = letter_for(def, word, &accepted);
      if (!accepted) std::printf("%s", def.error);
      return;
    }
  }
}

}  // namespace

void load_defaults() {
  params = Params{};
  params.mill_bit = 0.25;
  params.tool_radius = 0.125;
  params.drill_bit = 0.125;
  params.depth_cut = 0.1;
  params.lathe_cut = 0.007;
  params.lift_height = 0.1;
  params.off_contact = 0.01;
  params.feedrate_cut = 5.0;
  params.feedrate_rough = 7.0;
  params.feedrate_finish = 3.0;
  params.feedrate_plunge = 3.0;
  params.feedrate_lathe = 3.0;
  params.feedrate_max = 11.0;
  params.cut_rough = 0.01;
  params.cut_finish = 0.0015;
  params.numfinishcuts = 2;
  params.repetitions = 1;
  params.mill_mode = 'o';
  params.thread_hand = 'r';
  params.arc_format = 'c';
  params.verbose = 'n';
  params.re_wind = 'n';
  params.distance_mode = 'a';
  params.ij_mode = 'i';
  params.mill_dir = 'c';
  params.climb = 'y';
  params.toolrad_comp = 'c';  // no offset until a side word or the keyword sets one
  params.lift = 'y';
  params.reverse_path = 'n';
  params.surface_overlap = 0.025;
  params.lathe_tool2 = 0.125;
  writer_reset();
  home_reset();
}

const char* param_keyword(std::size_t k) {
  return k < sizeof kParams / sizeof kParams[0] ? kParams[k].keyword : nullptr;
}

const ParamDef* find_param(const char* keyword) {
  for (const ParamDef& def : kParams)
    if (std::strcmp(def.keyword, keyword) == 0) return &def;
  return nullptr;
}

void store_real(const ParamDef& def, double value) {
  params.*def.real = value;
  if (def.sets_tool_radius) params.tool_radius = value / 2;
}

char letter_for(const ParamDef& def, const char* word, bool* accepted) {
  char letter = letter_in(word, def.accepted);
  *accepted = letter != 0;
  return *accepted ? letter : def.fallback;
}

const char* modal_line(const ParamDef& def, char letter) {
  return letter == def.accepted[0] ? def.modal_first : def.modal_second;
}

void read_config(std::FILE* file) {
  char word[kWordSize];
  while (read_lower_word(file, word)) {
    const ParamDef* def = find_param(word);
    if (def != nullptr && !def->script_only) read_config_value(file, *def);
  }
  std::fclose(file);
}
