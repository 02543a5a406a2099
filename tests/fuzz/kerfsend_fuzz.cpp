// kerfsend_fuzz.cpp - Kerfsend's readers under the fuzzer: its configuration file, then a
// program read as a download reads it (the survey of the lines to send), as a resume reads
// the lines before its resume line, and as the travel check reads it.
//
// An input is the configuration file, then optionally "\0\1" and the program. The resume line
// is the program's middle line. Every setting must stay in its range, and no re-entry line may
// carry a number that is not finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "download.h"
#include "fuzz_input.h"
#include "gcode_messages.h"
#include "resume.h"
#include "settings.h"

namespace {

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// An empty stream cannot be opened in memory; a file of one line end reads the same.
std::FILE* open_text(std::string& text) {
  if (text.empty()) text = "\n";
  return fmemopen(text.data(), text.size(), "r");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* at = reinterpret_cast<const char*>(data);
  const char* end = at + size;
  std::string config = take_part(at, end);
  std::string program = take_part(at, end);

  reset_settings();
  std::FILE* config_file = open_text(config);
  read_config(config_file);
  std::fclose(config_file);
  if (settings.port < 0 || settings.port > 12) finding("a port outside COM1 to COM13");
  if (baud_number(settings.baud_code) <= 0) finding("a baud code without a rate");
  if (!(settings.reply_limit_s >= 0) || !std::isfinite(settings.reply_limit_s))
    finding("a reply limit that is no time");

  std::FILE* file = open_text(program);
  Survey found;
  if (!survey(file, 1, found)) finding("a file in memory that cannot be read twice");
  if (found.to_send > found.lines || found.too_long > found.lines) finding("a survey past its file");

  message_stream = nullptr;
  ReEntry at_line = find_reentry(file, found.lines / 2 + 1);
  std::rewind(file);
  // Kerfsend's verdict there (as the viewer's pick tells it), the journal past the whole file:
  // the same reading as the resume's, and words for it.
  const ResumeVerdict verdict = judge_resume(file, reading_start(), found.lines / 2 + 1, found.lines);
  auto same = [](double a, double b) { return a == b || (a != a && b != b); };
  if (!same(verdict.at.x, at_line.x) || !same(verdict.at.y, at_line.y) || !same(verdict.at.z, at_line.z) ||
      !same(verdict.at.safe_z, at_line.safe_z) || verdict.at.arc_line != at_line.arc_line)
    finding("a verdict on another reading than the resume's");
  const std::string said = resume_refusal_text(verdict, "job.nc") + resume_unfollowed_text(verdict, "job.nc") +
                           resume_origin_text(verdict, "job.nc") + resume_origin_note(verdict.at) +
                           resume_by_hand_text(verdict.at, "job.nc");
  if (said.find('\0') != std::string::npos) finding("words of a verdict that end early");
  if ((verdict.refusal == ResumeRefusal::None) == (resume_refusal_text(verdict, "job.nc").size() > 0))
    finding("a refusal without its words, or words without a refusal");
  if (verdict.origin_line != 0 && (verdict.origin_line < found.lines / 2 + 1 || verdict.origin_line > found.lines))
    finding("an origin line outside the lines the journal passed");
  std::rewind(file);
  // The configuration's travel limits, if it holds any, against the program.
  TravelFault fault = check_travel(file, 1, settings.travel);
  std::fclose(file);
  if (fault.line > found.lines || !std::isfinite(fault.past) || (fault.line > 0 && !(fault.past > 0)))
    finding("a travel fault that is no place in the program");
  char lines[kReEntryLines][128];
  const int count = reentry_lines(at_line, true, lines);
  for (int k = 0; k < count; ++k) {
    const auto& line = lines[k];
    if (std::strstr(line, "nan") != nullptr || std::strstr(line, "inf") != nullptr ||
        std::memchr(line, '\0', sizeof line) == nullptr)
      finding("a re-entry line that a controller must not get");
  }
  return 0;
}
