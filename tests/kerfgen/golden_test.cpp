// golden_test.cpp - runs the built Kerfgen on every case of the golden files and compares
// what it writes, byte for byte, with the output worked out by hand.
//
// A golden file groups related cases:
//   === case name                starts a case
//   --- section [words] [noeol]  starts a section; its content is the following lines, verbatim
// Sections: script, config (Kerfgen_cfg.txt), args (one per line; default "script.txt out.nc";
// empty: no arguments), stdin, output (out.nc), console (standard output), status N,
// file NAME, expect NAME, absent NAME, symlink NAME TARGET, hardlink NAME TARGET, and
// viewer here|beside|path, which puts a stand-in Kerfdisplay that records its arguments in
// viewer-args.txt. "noeol" drops the content's last newline. In output and expect sections
// the header's date line reads ";   File created: DATE".
//
// Each case runs in a fresh directory with a private copy of Kerfgen, standard input a file,
// and PATH=/usr/bin:/bin, so that no real viewer is ever found.
//
// Built with KERFGEN_WRAPPER, the harness runs a Windows Kerfgen.exe through that wrapper
// (wine): its text files and console end their lines in CR LF, which every line must, and
// are compared after turning CR LF into LF; the viewer stand-in is then the Windows program
// KERFGEN_VIEWER_STANDIN, found through WINEPATH.
#include <gtest/gtest.h>

#include "child.h"
#include "golden_file.h"
#include "windows_text.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The date line is the one thing that differs from run to run; it must have asctime's form,
// "Www Mmm dd hh:mm:ss yyyy\n", matched here letter class by letter class.
std::string mask_date(std::string text) {
  static const std::string prefix = ";   File created: ";
  static const char shape[] = "Aaa Aaa 99 99:99:99 9999\n";  // A upper, a lower, 9 digit
  auto fits = [](const std::string& date) {
    for (std::size_t k = 0; k < date.size(); ++k) {
      unsigned char c = static_cast<unsigned char>(date[k]);
      bool ok = shape[k] == 'A' ? std::isupper(c) : shape[k] == 'a' ? std::islower(c)
              : shape[k] == '9' ? std::isdigit(c) || (k == 8 && c == ' ') : c == shape[k];
      if (!ok) return false;
    }
    return true;
  };
  for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
    std::size_t from = at + prefix.size();
    std::size_t length = sizeof shape - 1;
    if (from + length <= text.size() && fits(text.substr(from, length)))
      text.replace(from, length, "DATE\n");
  }
  return text;
}

const char kStandIn[] =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > viewer-args.txt\n";

#ifdef KERFGEN_WRAPPER
constexpr bool kWindows = true;
const char kViewerName[] = "Kerfdisplay.exe";
#else
constexpr bool kWindows = false;
const char kViewerName[] = "Kerfdisplay";
#endif

// What a program wrote, in the form the golden files give it; a written Windows text whose
// lines do not all end in CR LF fails the test.
std::string written(const std::string& text, const std::string& what, bool by_program = true) {
  if (!kWindows || !by_program) return text;
  std::string fault;
  std::string out = posix_text(text, &fault);
  EXPECT_EQ(fault, "") << what;
  return out;
}

struct Run {
  int status = -1;
  std::string console;
  std::string errors;
};

// Runs the program and waits at most ten seconds for it: a run that hangs is a failure.
Run run_program(const fs::path& root, const fs::path& program, const std::vector<std::string>& args,
                const std::string& path_env) {
  std::vector<std::string> argv = {"Kerfgen"};
  std::string run_name = program.string();
  std::vector<std::string> environment = {"PATH=" + path_env};
#ifdef KERFGEN_WRAPPER
  // The wrapper runs the program; Windows keeps its own search path, given here as WINEPATH
  // on wine's drive Z: (the root folder).
  argv = {"wrapper", run_name};
  run_name = KERFGEN_WRAPPER;
  std::string windows_path = path_env.substr(0, path_env.find(':'));
  std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
  environment.push_back("WINEPATH=Z:" + windows_path);
#endif
  argv.insert(argv.end(), args.begin(), args.end());
  ChildSetup setup{(root / "work").string(), (root / "stdin").string(), (root / "stdout").string(),
                   (root / "stderr").string(), environment};
  Run run;
  bool timed_out = false;
  run.status = run_limited(run_name, argv, setup, std::chrono::seconds(10), &timed_out);
  if (timed_out) run.errors = "timed out\n";
  run.console = read_file(root / "stdout");
  run.errors += read_file(root / "stderr");
  return run;
}

void run_case(const Case& c) {
  SCOPED_TRACE(c.where);
  char pattern[] = "/tmp/kerfgen-golden-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::path root = pattern;
  fs::path work = root / "work";
  fs::create_directories(work);
  fs::create_directories(root / "bin");
  fs::path program = root / "bin" / fs::path(KERFGEN_PROGRAM).filename();
  fs::copy_file(KERFGEN_PROGRAM, program);
  std::string path_env = "/usr/bin:/bin";
  write_file(root / "stdin", "");

  std::vector<std::string> args = {"script.txt", "out.nc"};
  std::vector<std::string> inputs;  // files the harness wrote, not the program
  int expected_status = 0;
  for (const Section& s : c.sections) {
    const std::string arg = s.words.empty() ? "" : s.words[0];
    if (s.name == "script") {
      write_file(work / "script.txt", s.content);
      inputs.push_back("script.txt");
    } else if (s.name == "config") {
      write_file(work / "Kerfgen_cfg.txt", s.content);
      inputs.push_back("Kerfgen_cfg.txt");
    } else if (s.name == "file") {
      write_file(work / arg, s.content);
      inputs.push_back(arg);
    } else if (s.name == "args") {
      args = split_words(s.content);
    } else if (s.name == "stdin") {
      write_file(root / "stdin", s.content);
    } else if (s.name == "status") {
      expected_status = std::atoi(arg.c_str());
    } else if (s.name == "symlink" && s.words.size() == 2) {
      fs::create_symlink(s.words[1], work / s.words[0]);
      inputs.push_back(s.words[0]);
    } else if (s.name == "hardlink" && s.words.size() == 2) {
      fs::create_hard_link(work / s.words[1], work / s.words[0]);
      inputs.push_back(s.words[0]);
    } else if (s.name == "viewer") {
      fs::path folder = arg == "here" ? work : arg == "beside" ? root / "bin" : root / "pathbin";
      if (arg == "path") path_env = folder.string() + ":" + path_env;
      fs::create_directories(folder);
#ifdef KERFGEN_VIEWER_STANDIN
      fs::copy_file(KERFGEN_VIEWER_STANDIN, folder / kViewerName);
#else
      write_file(folder / kViewerName, kStandIn);
#endif
      fs::permissions(folder / kViewerName, fs::perms::owner_all, fs::perm_options::add);
    } else if (s.name != "output" && s.name != "console" && s.name != "expect" &&
               s.name != "absent") {
      FAIL() << "unknown section '" << s.name << "'";
    }
  }

  Run run = run_program(root, program, args, path_env);
  EXPECT_EQ(run.status, expected_status) << run.errors;
  EXPECT_EQ(run.errors, "");
  for (const Section& s : c.sections) {
    if (s.name == "output") {
      EXPECT_EQ(mask_date(written(read_file(work / "out.nc"), "out.nc")), s.content) << "out.nc";
    } else if (s.name == "expect") {
      ASSERT_TRUE(fs::exists(work / s.words.at(0))) << s.words[0];
      bool by_program = std::find(inputs.begin(), inputs.end(), s.words[0]) == inputs.end();
      EXPECT_EQ(mask_date(written(read_file(work / s.words[0]), s.words[0], by_program)), s.content) << s.words[0];
    } else if (s.name == "absent") {
      EXPECT_FALSE(fs::exists(fs::symlink_status(work / s.words.at(0)))) << s.words[0];
    } else if (s.name == "console") {
      EXPECT_EQ(written(run.console, "console"), s.content) << "console";
    }
  }
  fs::remove_all(root);
}

std::string test_name(std::string name) {
  std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (const fs::path& file : golden_files(GOLDEN_DIR)) {
    for (const Case& c : parse(file)) {
      ::testing::RegisterTest(file.stem().c_str(), test_name(c.name).c_str(), nullptr, nullptr,
                              __FILE__, __LINE__, [c]() -> ::testing::Test* {
                                struct CaseTest : ::testing::Test {
                                  Case c;
                                  explicit CaseTest(Case k) : c(std::move(k)) {}
                                  void TestBody() override { run_case(c); }
                                };
                                return new CaseTest(c);
                              });
    }
  }
  return RUN_ALL_TESTS();
}
