// kerfgen_fuzz.cpp - Kerfgen's readers under the fuzzer: a script, with its configuration file
// and a path file beside it, run through the command loop from the start values.
//
// An input is the script, then optionally "\0\1" and the configuration file, then optionally
// "\0\1" and a path file, which is written to the working directory as "p" (so a script reads
// it with `mill_path 0 -0.1 p`). The output is counted, not kept: more lines than a generous
// share per input byte is a finding, as a time-out or an ever-growing memory is.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "commands.h"
#include "interpreter.h"
#include "params.h"
#include "reader.h"
#include "guard.h"
#include "writer.h"

namespace {

// A command takes ten bytes or more and cuts at most the guard's limit of passes, rows or holes
// of a few lines each: four times the limit a byte leaves room, and an endless loop still
// runs past it at once.
constexpr std::size_t kLinesPerByte = 4 * kMaxCount;

struct Budget {
  std::size_t lines, limit, input;
};

ssize_t count_lines(void* cookie, const char* text, std::size_t size) {
  auto* budget = static_cast<Budget*>(cookie);
  for (std::size_t i = 0; i < size; ++i) budget->lines += text[i] == '\n';
  if (budget->lines > budget->limit) {
    std::fprintf(stderr, "output without bound: over %zu lines from %zu bytes of input\n",
                 budget->limit, budget->input);
    std::abort();
  }
  return static_cast<ssize_t>(size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!in_private_folder("/tmp/kerfgen-fuzz-XXXXXX")) std::abort();
  const char* at = reinterpret_cast<const char*>(data);
  const char* end = at + size;
  std::string script_text = take_part(at, end);
  std::string config_text = take_part(at, end);
  std::string path_text = take_part(at, end);

  std::FILE* path = std::fopen("p", "wb");
  std::fwrite(path_text.data(), 1, path_text.size(), path);
  std::fclose(path);

  load_defaults();
  viewer_requested = false;
  script = Script{nullptr, false, false, 0, 0};
  if (!config_text.empty()) {
    read_config(fmemopen(config_text.data(), config_text.size(), "r"));  // closes it
  }
  Budget budget{0, kLinesPerByte * (size + 1), size};
  writer.out = fopencookie(&budget, "w", cookie_io_functions_t{nullptr, count_lines, nullptr, nullptr});
  script_text += '\n';  // an empty stream cannot be opened
  script.in = fmemopen(script_text.data(), script_text.size(), "r");
  run_script();
  if (params.re_wind == 'y') write_end();
  std::fclose(script.in);
  std::fclose(writer.out);
  return 0;
}
