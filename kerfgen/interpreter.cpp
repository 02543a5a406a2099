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
#include "writer.h"

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 17;
const char kNotice[] = "Turns machining scripts into numbered G-code for the HB617 controller.\n";

// Words that start a line copied to the output as it stands: comments, operator messages,
// tape marks and whole numbered G-code lines.
bool starts_pass_through(char c) { return c != '\0' && std::strchr(";:%(/\"n", c) != nullptr; }

void lower(char* word) {
  for (; *word != '\0'; ++word) *word = static_cast<char>(std::tolower(static_cast<unsigned char>(*word)));
}

bool prompt_name(const char* prompt, char (&name)[kWordSize]) {
  std::fputs(prompt, stdout);
  std::fflush(stdout);
  return read_value_word(stdin, name);
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

void run_script() {
  char word[kWordSize];
  WordRead read;
  while ((read = read_word(script.in, word)) != WordRead::End) {
    lower(word);
    echo(word);
    echo(" ");
    if (const ParamDef* def = find_param(word)) {
      run_param(*def);
    } else if (const Command* command = find_command(word)) {
      run_command(*command);
    } else if (starts_pass_through(word[0])) {
      write_text("%s", word);
      copy_line_rest(writer.out);
    } else if (read == WordRead::Cut) {
      skip_word_rest(script.in);
    }
    echo("\n");
  }
}

}  // namespace

int kerfgen_main(int argc, char** argv) {
  // Numbers are read and written with a decimal point, whatever the user's locale says.
  std::setlocale(LC_ALL, "C");
  console_init();
  script = Script{nullptr, true, false};
  viewer_requested = false;

  char typed_script[kWordSize], typed_output[kWordSize];
  const char* script_name;
  const char* output_name;
  if (argc == 1) {
    std::printf("Kerfgen G-Code Generation Utility V%d.%2d\n", kVersionMajor, kVersionMinor);
    std::fputs(kNotice, stdout);
    if (!prompt_name("\nEnter input file name: ", typed_script) ||
        !prompt_name("Enter output file name: ", typed_output)) {
      std::printf("\nNo file name given.\n");
      return 1;
    }
    script_name = typed_script;
    output_name = typed_output;
  } else if (argc == 3) {
    std::printf("Kerfgen G Code Generation Utility V%d.%2d\n", kVersionMajor, kVersionMinor);
    std::fputs(kNotice, stdout);
    script_name = argv[1];
    output_name = argv[2];
  } else {
    std::printf("Usage: Kerfgen [script_file output_file]\n");
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
