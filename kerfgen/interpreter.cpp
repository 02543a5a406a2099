// interpreter.cpp - Kerfgen's start-up, the command loop over the script, and the end.
#include "interpreter.h"

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "console.h"
#include "files.h"
#include "params.h"
#include "platform.h"
#include "reader.h"
#include "gcode_interpreter.h"
#include "gcode_summary.h"
#include "writer.h"

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 17;
const char kUsage[] = "Usage: Kerfgen [script_file output_file]\n";
const char kNotice[] = "Turns machining scripts into numbered G-code for the HB617 controller.\n";

// Words that start a line copied to the output as it stands: comments, operator messages,
// tape marks and whole numbered G-code lines.
bool starts_pass_through(char c) { return c != '\0' && std::strchr(";:%(/\"n", c) != nullptr; }

void lower(char* word) {
  for (; *word != '\0'; ++word) *word = static_cast<char>(std::tolower(static_cast<unsigned char>(*word)));
}

enum class Typed { Name, None, TooLong };

// A name typed at a prompt; both may stand on one line, as the words of a script do.
Typed prompt_name(const char* prompt, char (&name)[kWordSize]) {
  std::fputs(prompt, stdout);
  std::fflush(stdout);
  WordRead read = read_word(stdin, name);
  if (read == WordRead::End) return Typed::None;
  // NOTE: a name cut to the buffer would create a file the user did not name.
  return read == WordRead::Cut ? Typed::TooLong : Typed::Name;
}

void load_configuration() {
  std::FILE* config = open_for_reading("Kerfgen_cfg.txt");
  if (config == nullptr) {
    std::printf("\nConfiguration file Kerfgen_cfg.txt not found in Kerfgen working directory.\n");
    std::printf("Default global parameters have been loaded.\n\n");
    return;
  }
  script.echo = false;
  read_config(config);
  script.echo = true;
}

void write_header(const char* script_name, const char* output_name) {
  write_text("; *******************************************\n");
  write_text("; * Kerfgen G-Code Generation Utility V%d.%2d *\n", kVersionMajor, kVersionMinor);
  write_text("; *******************************************\n");
  write_text(";   Input script file: %s\n", script_name);
  write_text(";   Output file name: %s\n", output_name);
  write_text(";   File created: %s", local_time_text());
  write_text("; *******************************************\n");
}

// A word of the script as the command loop reads it.
struct ScriptWord {
  char text[kWordSize];
  std::size_t length;
  WordRead read;
  long line;
};

// The most characters of an unknown word that its error comment names.
constexpr std::size_t kNamedLength = 40;

// The word after an unknown one that was no number: the next command word.
ScriptWord held;
bool holding = false;

bool next_word(ScriptWord& word) {
  if (holding) {
    holding = false;
    word = held;
  } else {
    word.read = read_word(script.in, word.text, &word.length);
    word.line = script.word_line;
  }
  return word.read != WordRead::End;
}

// A word that is no command: the numbers after it were meant as its arguments, so they go
// with it rather than each being reported in turn; the first word that is no number is the
// next command. A typo must never vanish silently: the error comment counts among the
// refused commands, and names the command it most likely meant.
void report_unknown(const ScriptWord& word) {
  if (word.read == WordRead::Cut) skip_word_rest(script.in);
  long numbers = 0;
  while (next_word(held)) {
    if (held.read == WordRead::Cut || !is_number(held.text)) {
      holding = true;
      break;
    }
    echo(held.text);
    echo(" ");
    ++numbers;
  }
  // A runaway word (a missing line end in a comment, say) is named by its beginning.
  bool long_word = word.read == WordRead::Cut || std::strlen(word.text) > kNamedLength;
  write_text("; error - unknown command \"%.*s%s\" in script line %ld - skipped",
             static_cast<int>(kNamedLength), word.text, long_word ? "..." : "", word.line);
  if (numbers > 0) write_text(" with the %ld number%s after it", numbers, numbers == 1 ? "" : "s");
  if (const char* meant = nearest_keyword(word.text)) write_text(" - did you mean %s?", meant);
  write_text("\n");
}

}  // namespace

void run_script() {
  ScriptWord word;
  PassLine pass;
  holding = false;
  while (next_word(word)) {
    lower(word.text);
    echo(word.text);
    echo(" ");
    if (const ParamDef* def = find_param(word.text)) {
      run_param(*def);
    } else if (const Command* command = find_command(word.text)) {
      run_command(*command);
    } else if (starts_pass_through(word.text[0])) {
      copy_pass_through(writer.out, word.text, word.length, word.read == WordRead::Cut, pass);
      // The script's own g90.1 or g91.1 sets how the controller reads every centre after it,
      // as the G-code reading reads the line.
      Mode mode = centre_mode_set(pass.text);
      if (mode != Mode::Unset) writer.centres_relative = mode == Mode::Incremental;
    } else {
      report_unknown(word);
    }
    echo("\n");
  }
}

int kerfgen_main(int argc, char** argv) {
  // Numbers are read and written with a decimal point, whatever the user's locale says.
  std::setlocale(LC_ALL, "C");
  console_init();
  script = Script{nullptr, true, false, 0, 0};
  viewer_requested = false;

  char typed_script[kWordSize], typed_output[kWordSize];
  const char* script_name;
  const char* output_name;
  if (argc == 1) {
    std::printf("Kerfgen G-Code Generation Utility V%d.%2d\n", kVersionMajor, kVersionMinor);
    std::fputs(kNotice, stdout);
    Typed typed = prompt_name("\nEnter input file name: ", typed_script);
    if (typed == Typed::Name) typed = prompt_name("Enter output file name: ", typed_output);
    if (typed == Typed::None) {
      std::printf("\nNo file name given.\n");
      return 1;
    }
    if (typed == Typed::TooLong) {
      std::printf("\nFile name too long: at most %zu characters.\n", kWordSize - 1);
      return 1;
    }
    // The Enter that ended the output name is not the key of the closing wait.
    console_drop_line();
    script_name = typed_script;
    output_name = typed_output;
  } else if (argc == 3) {
    std::printf("Kerfgen G Code Generation Utility V%d.%2d\n", kVersionMajor, kVersionMinor);
    std::fputs(kNotice, stdout);
    script_name = argv[1];
    output_name = argv[2];
  } else if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    std::printf("Without arguments Kerfgen asks for the two names.\n");
    return 0;
  } else {
    std::fputs(kUsage, stdout);
    return 2;
  }

  if (same_file(script_name, output_name)) {
    std::printf("\n Error: Input and output files have the same name \"%s\".\n", script_name);
    return 1;
  }
  // The script is opened first, so that a mistyped name never empties an existing program.
  script.in = open_for_reading(script_name);
  if (script.in == nullptr) {
    std::printf("\nCan't open input file %s.\n", script_name);
    return 1;
  }
  writer.out = std::fopen(output_name, "w");
  if (writer.out == nullptr) {
    std::printf("\nCan't create output file %s.\n", output_name);
    std::fclose(script.in);
    return 1;
  }
  std::printf("\n");

  load_defaults();
  load_configuration();
  write_header(script_name, output_name);
  run_script();
  if (params.re_wind == 'y') write_end();

  bool written = std::ferror(writer.out) == 0;
  written = std::fclose(writer.out) == 0 && written;
  std::fclose(script.in);
  script.echo = false;
  if (!written) {
    std::printf("\nError writing output file %s.\n", output_name);
    return 1;
  }

  // The program as the viewer and the controller will read it: its moves, extents and time.
  JobSummary summary;
  if (summarise_file(output_name, summary)) print_summary(stdout, summary);
  std::printf("Review script results - Press any key when done.");
  console_getkey();  // end of input counts as a key: nobody is there to press one
  if (viewer_requested) {
    std::printf("\n");
    std::fflush(stdout);
    replace_by_viewer(output_name);
  }
  std::printf("\n");
  return 0;
}
