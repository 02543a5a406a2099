// samples_test.cpp - the sample programs that other CAM programs and machinists wrote (those of
// the installed linuxcnc-uspace package), read by the trusted interpreter (rs274) and by the
// G-code reading. Where their paths part, the reading must have said why by then: a kind of
// word it does not follow, an arc it questions, or the note on the centre mode. A path that
// parts in silence fails the test.
#include <gtest/gtest.h>

#include "child.h"
#include "rs274.h"
#include "gcode_interpreter.h"
#include "gcode_messages.h"
#include "gcode_reader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The end of a move in the program's own coordinates and in the file's own unit, with the file
// line it comes from (0: none).
struct End {
  long line;
  double x, y, z;
};

std::string slurp(const fs::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Where the package put its programs: its list of files when the package manager can tell,
// else the folders it is known to use.
std::vector<fs::path> sample_programs() {
  std::vector<fs::path> found;
  if (std::FILE* list = popen("dpkg -L linuxcnc-uspace 2>/dev/null", "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, list) != nullptr) {
      std::string name = line;
      while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ngc") == 0 && fs::is_regular_file(name))
        found.push_back(name);
    }
    pclose(list);
  }
  if (found.empty()) {
    for (const char* folder : {"/usr/share/linuxcnc/ncfiles", "/usr/share/doc/linuxcnc/examples"}) {
      std::error_code error;
      for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file() && it->path().extension() == ".ngc") found.push_back(it->path());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

struct TrustedRun {
  bool clean = false;
  std::string errors;
  std::vector<End> moves;
  std::vector<bool> inch;  // each move's unit
};

// The program with "(kerfline N)" before each line, so that every canonical call is known by
// its file line, and an inch word first, the controller's own unit, which the reading assumes.
TrustedRun run_trusted(const std::string& rs274, const fs::path& program, const fs::path& root) {
  std::istringstream text(slurp(program));
  std::string fed;
  long number = 0;
  bool unit_given = false;
  for (std::string line; std::getline(text, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bool tape = !line.empty() && line.find_first_not_of(" \t") != std::string::npos &&
                line[line.find_first_not_of(" \t")] == '%';
    if (!unit_given && !tape) {
      fed += "g20\n";
      unit_given = true;
    }
    if (!tape) fed += "(kerfline " + std::to_string(number) + ")\n";
    fed += line + "\n";
  }
  std::ofstream(root / "program.ngc", std::ios::binary) << fed;
  std::ofstream(root / "stdin", std::ios::binary) << "";
  std::ofstream tools(root / "tools.tbl", std::ios::binary);
  for (int t = 0; t < 100; ++t) tools << "T" << t << " P" << t << " Z0 D0.25\n";
  tools.close();
  ChildSetup setup{root.string(), (root / "stdin").string(), (root / "calls").string(),
                   (root / "errors").string(), {"HOME=" + root.string()}};
  bool timed_out = false;
  TrustedRun run;
  int status = run_limited(rs274, {"rs274", "-t", "tools.tbl", "-g", "program.ngc"}, setup,
                           std::chrono::seconds(30), &timed_out);
  run.errors = slurp(root / "errors");
  const std::string notice = "executing\n";
  if (run.errors.compare(0, notice.size(), notice) == 0) run.errors.erase(0, notice.size());
  if (timed_out) run.errors += "timed out\n";
  if (status != 0 && !timed_out) run.errors += "exit status " + std::to_string(status) + "\n";
  run.clean = run.errors.empty();
  std::istringstream calls(slurp(root / "calls"));
  long current = 0;
  int plane = 1;
  bool inch = true;
  for (std::string line; std::getline(calls, line);) {
    auto has = [&line](const char* call) { return line.find(call) != std::string::npos; };
    std::vector<double> v = call_numbers(line);
    if (has("COMMENT(\"kerfline ")) {
      current = std::strtol(line.c_str() + line.find("COMMENT(\"kerfline ") + 18, nullptr, 10);
    } else if (has("USE_LENGTH_UNITS(")) {
      inch = has("CANON_UNITS_INCHES");
    } else if (has("SELECT_PLANE(")) {
      plane = has("CANON_PLANE_XZ") ? 2 : has("CANON_PLANE_YZ") ? 3 : 1;
    } else if ((has(" STRAIGHT_FEED(") || has(" STRAIGHT_TRAVERSE(") || has(" STRAIGHT_PROBE(") ||
                has(" RIGID_TAP(")) && v.size() >= 3) {
      run.moves.push_back({current, v[0], v[1], v[2]});
      run.inch.push_back(inch);
    } else if (has(" ARC_FEED(") && v.size() >= 6) {
      // The ends in the plane's own order (X Y, Z X, Y Z), then the third axis.
      End e{current, 0, 0, 0};
      if (plane == 1) e.x = v[0], e.y = v[1], e.z = v[5];
      if (plane == 2) e.z = v[0], e.x = v[1], e.y = v[5];
      if (plane == 3) e.y = v[0], e.z = v[1], e.x = v[5];
      run.moves.push_back(e);
      run.inch.push_back(inch);
    }
  }
  return run;
}

// The moves the reading hands its sink, taken back to the program's own coordinates.
class EndSink : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
  void move(const PathMove& m) override { add(m.line, m.x, m.y, m.z); }
  void arc(const PathArc& a) override { add(a.line, a.x, a.y, a.z); }
  std::vector<End> ends;

 private:
  void add(long line, double x, double y, double z) {
    ends.push_back({line, x - interp.origin[0], y - interp.origin[1], z - interp.origin[2]});
  }
};

// What the reading said by file line `line`: a kind not followed, an arc it questions, the
// centre mode it chose. Empty when nothing.
// NOTE: rs274 runs with every work offset at zero, so a G54 to G59.3 cannot be what parts the
// two paths: it is no excuse here.
bool work_offset(const char* what) { return std::strncmp(what, "G5", 2) == 0 && what[2] >= '4' && what[2] <= '9'; }

std::string cause_by(const JobSummary& job, long line) {
  for (int k = 0; k < job.unfollowed_kinds; ++k)
    if (job.unfollowed[k].first_line <= line && !work_offset(job.unfollowed[k].what))
      return std::string(job.unfollowed[k].what) + " not followed from line " + std::to_string(job.unfollowed[k].first_line);
  long listed = std::min<long>(job.warnings, kListedWarnings);
  for (long k = 0; k < listed; ++k)
    if (job.warned[k].line <= line) return std::string("arc warning at line ") + std::to_string(job.warned[k].line);
  if (job.centre_note_line > 0 && job.centre_note_line <= line)
    return "the centre mode note at line " + std::to_string(job.centre_note_line);
  return "";
}

std::string point(const End& e) {
  char text[160];
  std::snprintf(text, sizeof text, "line %ld (%.4f, %.4f, %.4f)", e.line, e.x, e.y, e.z);
  return text;
}

TEST(Samples, PathsPartOnlyWhereTheReadingSaysWhy) {
  const std::string rs274 = find_rs274();
  if (rs274.empty()) GTEST_SKIP() << "rs274 is not installed (Debian's linuxcnc-uspace): no sample programs to read";
  const std::vector<fs::path> programs = sample_programs();
  if (programs.empty()) GTEST_SKIP() << "linuxcnc-uspace's sample programs (*.ngc) are not installed";
  char pattern[] = "/tmp/kerf-samples-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  int compared = 0, agreed = 0, told = 0, refused = 0, no_moves = 0;
  std::string told_list, refused_list;
  for (const fs::path& program : programs) {
    TrustedRun trusted = run_trusted(rs274, program, root);
    if (!trusted.clean) {
      ++refused;
      refused_list += "  " + program.string() + ": " + trusted.errors.substr(0, trusted.errors.find('\n')) + "\n";
      continue;
    }
    if (trusted.moves.empty()) {
      ++no_moves;
      continue;
    }
    ++compared;
    interp_reset();
    message_stream = nullptr;
    EndSink sink;
    read_gcode_file(program.c_str(), sink);
    message_stream = stdout;
    const bool file_inch = interp.file_units != Units::Millimetre;
    const double tolerance = file_inch ? 2e-4 : 2e-3;  // four decimals, a unit converted
    for (std::size_t m = 0; m < trusted.moves.size(); ++m) {
      End& t = trusted.moves[m];
      const double f = trusted.inch[m] == file_inch ? 1 : file_inch ? 1 / 25.4 : 25.4;
      t.x *= f, t.y *= f, t.z *= f;
    }
    auto same = [tolerance](const End& a, const End& b) {
      return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
    };
    // A move that goes nowhere (a rotary axis alone, a tool change) is no part of the path.
    auto places = [&same](const std::vector<End>& moves) {
      std::vector<End> kept;
      End last{0, 0, 0, 0};
      for (const End& e : moves) {
        if (same(e, last)) continue;
        kept.push_back(e);
        last = e;
      }
      return kept;
    };
    const std::vector<End> ours = places(sink.ends), theirs = places(trusted.moves);
    std::size_t k = 0;
    while (k < ours.size() && k < theirs.size() && same(ours[k], theirs[k])) ++k;
    if (k == ours.size() && k == theirs.size()) {
      ++agreed;
      continue;
    }
    // The first line that one of them reached and the other read otherwise.
    long line = 0;
    if (k < ours.size()) line = ours[k].line;
    if (k < theirs.size() && (line == 0 || theirs[k].line < line)) line = theirs[k].line;
    std::string cause = cause_by(interp.job, line);
    std::string what = program.string() + ": place " + std::to_string(k + 1) + ", the reading " +
                       (k < ours.size() ? point(ours[k]) : std::string("has no more moves")) +
                       ", rs274 " + (k < theirs.size() ? point(theirs[k]) : std::string("has no more moves"));
    if (cause.empty()) {
      ADD_FAILURE() << "the paths part without a word: " << what;
    } else {
      ++told;
      told_list += "  " + what + ": " + cause + "\n";
    }
  }
  fs::remove_all(root);
  std::printf("%d sample programs: %d read by rs274 with moves (%d agree, %d part where the reading says "
              "why), %d refused by rs274 alone, %d without moves\n%sRefused by rs274:\n%s",
              static_cast<int>(programs.size()), compared, agreed, told, refused, no_moves, told_list.c_str(),
              refused_list.c_str());
  EXPECT_GT(compared, 0);
}

}  // namespace
