// readback_test.cpp - every program of the golden cases read back as Kerfgen's job summary reads
// it: an arc the reading questions is a fault, unless a case means to show one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_file.h"
#include "gcode_interpreter.h"
#include "gcode_messages.h"

namespace {

// Arc lines a case writes on purpose, knowing the reading questions them: by golden file, case
// and the line's text. None so far: Kerfgen refuses an arc that is no arc.
struct Intended {
  const char* file;
  const char* case_name;
  const char* text;
};

const std::vector<Intended> kIntended = {};

bool intended(const Program& p, const std::string& text) {
  for (const Intended& i : kIntended)
    if (p.file == i.file && p.case_name == i.case_name && text == i.text) return true;
  return false;
}

class NoSink : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
};

TEST(ReadBack, EveryGoldenProgramWarnsOnlyWhereACaseMeansIt) {
  std::FILE* saved = message_stream;
  message_stream = nullptr;
  NoSink sink;
  int programs = 0;
  for (const auto& file : golden_files(GOLDEN_DIR)) {
    for (const Program& p : golden_programs(file)) {
      ++programs;
      interp_reset();
      for (const SourceLine& line : p.lines) {
        long before = interp.job.warnings;
        if (interpret_line(line.text.c_str(), sink)) break;
        if (interp.job.warnings != before && !intended(p, line.text))
          ADD_FAILURE() << line.where << " \"" << line.text << "\": "
                        << interp.job.warned[before < kListedWarnings ? before : 0].what << " (case \""
                        << p.case_name << "\")";
      }
    }
  }
  message_stream = saved;
  EXPECT_GT(programs, 100);  // the golden files were found
}

}  // namespace
