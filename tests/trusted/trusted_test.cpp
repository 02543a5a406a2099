// trusted_test.cpp - every program Kerfgen writes in the golden cases, and every example, read
// by a trusted G-code interpreter (the standalone rs274) and by Kerfdisplay's interpreter.
//
// The trusted interpreter must accept each program whole: a line it refuses fails the test
// unless kExcused below lists it with its reason. Then both interpreters must agree, line by
// line, on where every move ends and on the centre and direction of every arc, within 1e-4 inch.
//
// Both read the program in the form the trusted interpreter accepts (accepted_form): an inch
// word and absolute arc centres first, operator message lines (":") as comments, the lines that
// only the HB617 knows (g46 backlash, G99 origin, bare g92) dropped, and m2 at the end.
#include <gtest/gtest.h>

#include "child.h"
#include "rs274.h"
#include "golden_file.h"
#include "gcode_interpreter.h"
#include "recording_sink.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kTolerance = 1e-4;  // inch; the trusted interpreter prints four decimals

// Lines of Kerfgen's output that the trusted interpreter refuses, by golden case and text.
// Kerfsend never sends a comment line, so a comment too long for the trusted interpreter never
// reaches the HB617; pass-through lines are the script writer's own text, copied as it stands.
struct Excused {
  const char* file;
  const char* case_name;
  const char* text;  // the whole line, or its first characters when it ends in "..."
  const char* reason;
};

const char kPassThrough[] = "a pass-through line: the script's own text, copied as it stands";
const char kLongComment[] = "a comment longer than the trusted interpreter's 255 characters; "
                            "Kerfsend never sends comment lines to the HB617";

const Excused kExcused[] = {
    {"guards.golden", "a set-up command whose safe height overflows writes one error comment, "
     "and numbering goes on as if it had not run", "; lift height set to 1000...", kLongComment},
    {"passthrough.golden", "each pass-through first character starts a line copied to the output",
     "%", kPassThrough},
    {"passthrough.golden", "each pass-through first character starts a line copied to the output",
     "/ block delete", kPassThrough},
    {"passthrough.golden", "each pass-through first character starts a line copied to the output",
     "\"quoted note", kPassThrough},
    {"passthrough.golden", "each pass-through first character starts a line copied to the output",
     "n5 g1 x1", kPassThrough},
    {"passthrough.golden", "each pass-through first character starts a line copied to the output",
     "n6 G1 X2", kPassThrough},
    {"passthrough.golden", "only the first word of a pass-through line is lower-cased",
     "%abc Def", kPassThrough},
    {"passthrough.golden", "a whole numbered G-code line passes through without taking a line number",
     "n100 G1 X1", kPassThrough},
    {"passthrough.golden", "an unknown word beginning with n starts a pass-through line",
     "note: clamp the stock", kPassThrough},
    {"passthrough.golden", "a comment word longer than 255 characters is lower-cased whole",
     ";aaaa...", kLongComment},
};

const Excused* excused(const Program& p, const std::string& text) {
  for (const Excused& e : kExcused) {
    if (p.file != e.file || p.case_name != e.case_name) continue;
    std::string wanted = e.text;
    bool prefix = wanted.size() > 3 && wanted.compare(wanted.size() - 3, 3, "...") == 0;
    if (prefix ? text.compare(0, wanted.size() - 3, wanted, 0, wanted.size() - 3) == 0
               : text == wanted)
      return &e;
  }
  return nullptr;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// g46 (backlash), G99 (new origin) and a g92 without axes (origin at the current position)
// mean something to the HB617 alone; the trusted interpreter has other meanings or none.
bool controller_only(const std::string& text) {
  std::vector<std::string> words = split_words(lower(text));
  std::size_t k = 0;
  if (!words.empty() && words[0].size() > 1 && words[0][0] == 'n' &&
      std::isdigit(static_cast<unsigned char>(words[0][1])))
    ++k;
  if (k == words.size()) return false;
  const std::string& w = words[k];
  return w.rfind("g46", 0) == 0 || w == "g99" || (w == "g92" && k + 1 == words.size());
}

// The program as both interpreters read it; an added line has no `where`. Kerfgen's programs
// take I and J as absolute until they say g91.1, as the HB617 and Kerfdisplay do; the trusted
// interpreter starts the other way, hence g90.1.
std::vector<SourceLine> accepted_form(const Program& p) {
  std::vector<SourceLine> fed = {{"g20", ""}, {"g90.1", ""}};
  for (const SourceLine& line : p.lines) {
    if (excused(p, line.text) != nullptr || controller_only(line.text))
      continue;
    if (line.text.rfind(':', 0) == 0)
      fed.push_back({";" + line.text, line.where});
    else
      fed.push_back(line);
  }
  fed.push_back({"m2", ""});
  return fed;
}

// ---- the trusted interpreter ----

struct TrustedMove {
  std::size_t line;  // index into the fed program
  bool arc;
  int rotation;  // arcs: > 0 counter-clockwise, < 0 clockwise
  bool xy_plane;
  double x, y, z, cx, cy;
};

struct TrustedRun {
  bool clean = false;
  std::string errors;          // what it printed besides its start notice
  std::size_t error_line = 0;  // the fed line it stopped at, when not clean
  std::vector<TrustedMove> moves;
};

// Each fed line is preceded by a comment "(kerfline N)", which the trusted interpreter reports as a
// COMMENT call: so every canonical call, and the line it stops at, is known by its fed line.
TrustedRun run_trusted(const std::string& rs274, const std::vector<SourceLine>& fed) {
  char pattern[] = "/tmp/kerf-trusted-XXXXXX";
  TrustedRun run;
  if (mkdtemp(pattern) == nullptr) {
    run.errors = "cannot make a temporary folder\n";
    return run;
  }
  fs::path root = pattern;
  std::string text;
  for (std::size_t k = 0; k < fed.size(); ++k)
    text += "(kerfline " + std::to_string(k) + ")\n" + fed[k].text + "\n";
  write_file(root / "program.ngc", text);
  write_file(root / "stdin", "");
  // It keeps its tool table in a file mapped from HOME: runs side by side need one each.
  ChildSetup setup{root.string(), (root / "stdin").string(), (root / "calls").string(),
                   (root / "errors").string(), {"HOME=" + root.string()}};
  bool timed_out = false;
  int status = run_limited(rs274, {"rs274", "-t", TOOL_TABLE, "-g", "program.ngc"}, setup,
                           std::chrono::seconds(30), &timed_out);
  run.errors = read_file(root / "errors");
  const std::string notice = "executing\n";
  if (run.errors.compare(0, notice.size(), notice) == 0) run.errors.erase(0, notice.size());
  if (timed_out) run.errors += "timed out\n";
  if (status == -1 && !timed_out) run.errors += "ended by a signal\n";
  if (status > 0) run.errors += "exit status " + std::to_string(status) + "\n";
  run.clean = run.errors.empty();

  std::istringstream calls(read_file(root / "calls"));
  std::size_t current = 0;
  bool xy_plane = true;
  for (std::string line; std::getline(calls, line);) {
    auto has = [&line](const char* call) { return line.find(call) != std::string::npos; };
    std::vector<double> v = call_numbers(line);
    if (has("COMMENT(\"kerfline ")) {
      current = std::strtoul(line.c_str() + line.find("COMMENT(\"kerfline ") + 18, nullptr, 10);
    } else if (has("SELECT_PLANE(")) {
      xy_plane = has("CANON_PLANE_XY");
    } else if ((has(" STRAIGHT_FEED(") || has(" STRAIGHT_TRAVERSE(")) && v.size() >= 3) {
      run.moves.push_back({current, false, 0, xy_plane, v[0], v[1], v[2], 0, 0});
    } else if (has(" ARC_FEED(") && v.size() >= 6) {
      run.moves.push_back({current, true, static_cast<int>(v[4]), xy_plane, v[0], v[1], v[5],
                           v[2], v[3]});
    }
  }
  run.error_line = current;
  fs::remove_all(root);
  return run;
}

// ---- Kerfdisplay's interpreter ----

struct ViewerStep {
  bool read = false;  // the file reader skips blank and comment lines; nothing after the end
  bool drew = false;
  double x0 = 0, y0 = 0, z0 = 0;  // where the line starts
  double x = 0, y = 0, z = 0;     // and ends
  MoveKind move = MoveKind::None;
  double cx = 0, cy = 0;
};

std::vector<ViewerStep> read_in_viewer(const std::vector<SourceLine>& fed, std::string* console) {
  std::vector<ViewerStep> steps(fed.size());
  RecordingSink sink;
  interp_reset();
  testing::internal::CaptureStdout();
  for (std::size_t k = 0; k < fed.size(); ++k) {
    const std::string& text = fed[k].text;
    if (text.empty() || text[0] == ';') continue;
    ViewerStep& s = steps[k];
    s.read = true;
    s.x0 = interp.x, s.y0 = interp.y, s.z0 = interp.z;
    std::size_t before = sink.vertices.size();
    if (interpret_line(text.c_str(), sink)) break;
    s.drew = sink.vertices.size() > before;
    s.x = interp.x, s.y = interp.y, s.z = interp.z;
    s.move = interp.move;
    s.cx = interp.centre_x, s.cy = interp.centre_y;
  }
  *console = testing::internal::GetCapturedStdout();
  return steps;
}

// ---- the comparison ----

bool near(double a, double b) { return std::fabs(a - b) <= kTolerance; }

std::string point(double x, double y, double z) {
  char text[120];
  std::snprintf(text, sizeof text, "(%.5f, %.5f, %.5f)", x, y, z);
  return text;
}

const char* move_name(MoveKind m) {
  switch (m) {
    case MoveKind::Rapid: return "a rapid move";
    case MoveKind::Linear: return "a linear move";
    case MoveKind::Clockwise: return "a clockwise arc";
    case MoveKind::CounterClockwise: return "a counter-clockwise arc";
    case MoveKind::Dwell: return "a dwell";
    case MoveKind::None: break;
  }
  return "no move";
}

// What Kerfdisplay makes of fed line k, against the trusted interpreter's moves for it; an
// empty result when they agree.
std::string compare_line(const ViewerStep& s, const std::vector<const TrustedMove*>& moves) {
  std::ostringstream out;
  bool viewer_arc = s.move == MoveKind::Clockwise || s.move == MoveKind::CounterClockwise;
  if (moves.empty()) {
    bool moved = !near(s.x, s.x0) || !near(s.y, s.y0) || !near(s.z, s.z0);
    if (s.drew && (viewer_arc || moved))
      out << "Kerfdisplay draws " << move_name(s.move) << " to " << point(s.x, s.y, s.z)
          << "; the trusted interpreter does not move";
    return out.str();
  }
  if (!s.read || !s.drew) {
    out << "the trusted interpreter moves to "
        << point(moves.back()->x, moves.back()->y, moves.back()->z) << "; Kerfdisplay draws nothing";
    return out.str();
  }
  const TrustedMove& last = *moves.back();
  if (!near(s.x, last.x) || !near(s.y, last.y) || !near(s.z, last.z))
    out << "ends at " << point(s.x, s.y, s.z) << " in Kerfdisplay, at "
        << point(last.x, last.y, last.z) << " in the trusted interpreter. ";
  for (const TrustedMove* m : moves) {
    if (!m->arc) {
      if (viewer_arc) out << "Kerfdisplay draws " << move_name(s.move) << ", the trusted interpreter a straight move. ";
      continue;
    }
    MoveKind wanted = m->rotation < 0 ? MoveKind::Clockwise : MoveKind::CounterClockwise;
    if (!m->xy_plane) out << "the trusted interpreter's arc is not in the XY plane. ";
    if (s.move != wanted)
      out << "Kerfdisplay draws " << move_name(s.move) << ", the trusted interpreter "
          << move_name(wanted) << ". ";
    if (!near(s.cx, m->cx) || !near(s.cy, m->cy))
      out << "arc centre (" << s.cx << ", " << s.cy << ") in Kerfdisplay, (" << m->cx << ", "
          << m->cy << ") in the trusted interpreter. ";
  }
  return out.str();
}

std::string describe(const SourceLine& line) {
  return (line.where.empty() ? std::string("(added line)") : line.where) + " \"" + line.text + "\"";
}

// Every line the trusted interpreter refuses, and every line on which Kerfdisplay reads
// something else, each with what differs.
std::vector<std::string> disagreements(const std::string& rs274, const Program& p) {
  std::vector<std::string> found;
  std::vector<SourceLine> fed = accepted_form(p);
  TrustedRun trusted = run_trusted(rs274, fed);
  if (!trusted.clean)
    found.push_back(describe(fed[trusted.error_line]) + ": the trusted interpreter refuses it:\n" +
                    trusted.errors);

  std::string console;
  std::vector<ViewerStep> steps = read_in_viewer(fed, &console);
  std::size_t compared = trusted.clean ? fed.size() : trusted.error_line;
  for (std::size_t k = 0; k < compared; ++k) {
    std::vector<const TrustedMove*> moves;
    for (const TrustedMove& m : trusted.moves)
      if (m.line == k) moves.push_back(&m);
    std::string difference = compare_line(steps[k], moves);
    if (!difference.empty())
      found.push_back(describe(fed[k]) + ": " + difference + "\nKerfdisplay's console:\n" + console);
  }
  return found;
}

// Finds the trusted interpreter. When it is not installed CI fails (its setup installs it) and
// elsewhere the test is skipped with a word why; the name is then left empty.
void find_trusted(std::string* rs274) {
  *rs274 = find_rs274();
  if (!rs274->empty()) return;
  const char* ci = std::getenv("CI");
  if (ci != nullptr && std::string(ci) == "true")
    FAIL() << "rs274 (Debian's linuxcnc-uspace) is not installed: tools/setup.sh installs it";
  GTEST_SKIP() << "rs274 is not installed (Debian's linuxcnc-uspace; tools/setup.sh installs it), "
                  "so the trusted interpreter check is skipped";
}

void check_program(const Program& p) {
  std::string rs274;
  find_trusted(&rs274);
  if (rs274.empty()) return;
  for (const std::string& d : disagreements(rs274, p)) ADD_FAILURE() << d;
}

// Runs the built Kerfgen on an example script in a fresh folder holding a copy of examples/,
// with a private copy of Kerfgen so that no viewer is started, and returns what it wrote.
Program example_program(const fs::path& script) {
  Program p{script.filename().string(), "", {}};
  char pattern[] = "/tmp/kerf-trusted-example-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary folder";
    return p;
  }
  fs::path root = pattern;
  fs::create_directories(root / "bin");
  fs::create_directories(root / "work");
  fs::copy_file(KERFGEN_PROGRAM, root / "bin" / "Kerfgen");
  for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR))
    if (entry.is_regular_file()) fs::copy_file(entry.path(), root / "work" / entry.path().filename());
  write_file(root / "stdin", "");
  std::string output = script.stem().string() + ".nc";
  ChildSetup setup{(root / "work").string(), (root / "stdin").string(), (root / "console").string(),
                   (root / "errors").string(), {"PATH=/usr/bin:/bin"}};
  bool timed_out = false;
  int status = run_limited((root / "bin" / "Kerfgen").string(),
                           {"Kerfgen", script.filename().string(), output}, setup,
                           std::chrono::seconds(20), &timed_out);
  EXPECT_EQ(status, 0) << read_file(root / "errors");
  EXPECT_FALSE(timed_out);
  std::istringstream text(read_file(root / "work" / output));
  int number = 1;
  for (std::string line; std::getline(text, line); ++number)
    p.lines.push_back({line, "examples/" + output + ":" + std::to_string(number)});
  fs::remove_all(root);
  return p;
}

std::string test_name(std::string name) {
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

template <typename Body>
void register_test(const std::string& suite, const std::string& name, Body body) {
  ::testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                          [body]() -> ::testing::Test* {
                            struct ProgramTest : ::testing::Test {
                              Body run;
                              explicit ProgramTest(Body b) : run(std::move(b)) {}
                              void TestBody() override { run(); }
                            };
                            return new ProgramTest(body);
                          });
}

}  // namespace

// ---- the check itself: it must find what differs, and only that ----

// A made-up program in the guise of a golden case, so that kExcused applies to it.
Program made_up(std::vector<std::string> texts, const char* file = "made-up.golden",
                const char* case_name = "") {
  Program p{file, case_name, {}};
  int number = 1;
  for (const std::string& t : texts) p.lines.push_back({t, "made-up:" + std::to_string(number++)});
  return p;
}

std::string joined(const std::vector<std::string>& found) {
  std::string all;
  for (const std::string& f : found) all += f + "\n";
  return all;
}

TEST(TrustedCheck, AgreesOnLinesArcsByCentreAndByRadiusAndHelices) {
  std::string rs274;
  find_trusted(&rs274);
  if (rs274.empty()) return;
  std::vector<std::string> found = disagreements(rs274, made_up({
      "n0 g1 z0.10000 f11.00000", "n1 g1 x-1.00000 y0.00000 f11.00000",
      "n2 g3 x1.00000 y0.00000 i0.00000 j0.00000 f5.00000",       // half circle by centre
      "n3 g2 x1.00000 y0.00000 z-0.20000 i0.00000 j0.00000 f5.00000",  // full helical turn
      "n4 g2 x2.00000 y1.00000 r1.00000 f5.00000",                // quarter by radius
      ":   Turn the part - then press c", "n5 g1 x0 y0 f5", ";", "n6    m30"}));
  EXPECT_TRUE(found.empty()) << joined(found);
}

TEST(TrustedCheck, FindsWhatKerfdisplayReadsOtherwise) {
  std::string rs274;
  find_trusted(&rs274);
  if (rs274.empty()) return;
  // A canned cycle: the trusted interpreter drills, Kerfdisplay tells it and draws nothing.
  std::vector<std::string> found =
      disagreements(rs274, made_up({"n0 g1 x1 y0 z1 f5", "n1 g81 x2 y0 z-1 r0.5"}));
  ASSERT_EQ(found.size(), 1u) << joined(found);
  EXPECT_NE(found[0].find("made-up:2 \"n1 g81 x2 y0 z-1 r0.5\": the trusted interpreter moves to (2.00000, "
                          "0.00000, "), std::string::npos)
      << found[0];
  // g91: both move by X.
  found = disagreements(rs274, made_up({"n0 g1 x1 y0 f5", "g91", "n1 g1 x2 y0 f5"}));
  EXPECT_TRUE(found.empty()) << joined(found);
  // A negative R asks both for the longer arc.
  found = disagreements(rs274, made_up({"n0 g1 x0 y0 f5", "n1 g2 x1 y1 r-1 f5"}));
  EXPECT_TRUE(found.empty()) << joined(found);
}

TEST(TrustedCheck, ARefusedLineFailsUnlessListedAndOnlyHB617LinesAreDropped) {
  std::string rs274;
  find_trusted(&rs274);
  if (rs274.empty()) return;
  std::vector<std::string> found = disagreements(rs274, made_up({"n0 g1 x1"}));
  ASSERT_EQ(found.size(), 1u) << joined(found);
  EXPECT_NE(found[0].find("made-up:1 \"n0 g1 x1\": the trusted interpreter refuses it:\n"
                          "Cannot do g1 with zero feed rate"), std::string::npos) << found[0];
  // The same line in the case that lists it is excused.
  EXPECT_TRUE(disagreements(rs274, made_up({"n100 G1 X1"}, "passthrough.golden",
                                           "a whole numbered G-code line passes through without "
                                           "taking a line number")).empty());
  // Backlash, the new origin and a bare g92 are the HB617's own; a g92 with axes is not.
  EXPECT_TRUE(disagreements(rs274, made_up({"n0 g46x3", "n1 G99 x0.0000 y0.0000 z0.0000 a0.0000",
                                            "n2 g92", "n3 g1 x1 f5"})).empty());
  // A g92 with axes sets an origin: neither interpreter moves (Kerfdisplay takes the
  // coordinates of a G code it does not know as that code's arguments).
  EXPECT_TRUE(disagreements(rs274, made_up({"n0 g1 x1 f5", "n1 g92 x0"})).empty());
}

// Every listed line must still be in its golden case: a list entry outlives no mend.
TEST(TrustedCheck, EveryExcusedLineIsStillWritten) {
  for (const Excused& e : kExcused) {
    bool seen = false;
    for (const Program& p : golden_programs(fs::path(GOLDEN_DIR) / e.file))
      for (const SourceLine& line : p.lines)
        seen = seen || excused(p, line.text) == &e;
    EXPECT_TRUE(seen) << e.file << ": \"" << e.case_name << "\" no longer writes \"" << e.text
                      << "\"; take it off the list";
  }
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (const fs::path& file : golden_files(GOLDEN_DIR)) {
    std::vector<Program> programs = golden_programs(file);
    for (std::size_t k = 0; k < programs.size(); ++k) {
      std::string name = test_name(programs[k].case_name);
      // A case with several programs (an output and an expected file) gets one test for each.
      if (k > 0 && programs[k].case_name == programs[k - 1].case_name) name += "_" + std::to_string(k);
      register_test(file.stem().string(), name, [p = programs[k]] { check_program(p); });
    }
  }
  std::vector<fs::path> scripts;
  for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR))
    if (entry.path().extension() == ".txt") scripts.push_back(entry.path());
  std::sort(scripts.begin(), scripts.end());
  for (const fs::path& script : scripts)
    register_test("examples", test_name(script.stem().string()),
                  [script] { check_program(example_program(script)); });
  return RUN_ALL_TESTS();
}
