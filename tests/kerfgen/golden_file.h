// golden_file.h - reads the golden files (format at the top of golden_test.cpp) for every test
// that runs what they hold.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct Section {
  std::string name;
  std::vector<std::string> words;  // the marker's words after the name
  std::string content;
  int first_line = 0;  // the golden file's line number of the content's first line
};

struct Case {
  std::string name;
  std::string where;  // file:line of the case, for failure messages
  std::vector<Section> sections;
};

inline std::vector<std::string> split_words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

inline std::vector<Case> parse(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<Case> cases;
  Section* section = nullptr;
  bool noeol = false;
  auto finish = [&] {
    if (section != nullptr && noeol && !section->content.empty() &&
        section->content.back() == '\n')
      section->content.pop_back();
    section = nullptr;
  };
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    bool had_newline = !in.eof();
    if (line.rfind("=== ", 0) == 0) {
      finish();
      cases.push_back(Case{line.substr(4), file.filename().string() + ":" + std::to_string(number), {}});
    } else if (line.rfind("--- ", 0) == 0 && !cases.empty()) {
      finish();
      std::vector<std::string> words = split_words(line.substr(4));
      noeol = !words.empty() && words.back() == "noeol";
      if (noeol) words.pop_back();
      Section s;
      if (!words.empty()) {
        s.name = words.front();
        s.words.assign(words.begin() + 1, words.end());
      }
      s.first_line = number + 1;
      cases.back().sections.push_back(s);
      section = &cases.back().sections.back();
    } else if (section != nullptr) {
      section->content += line;
      if (had_newline) section->content += '\n';
    }
  }
  finish();
  return cases;
}

// Every *.golden file of the folder, in name order, so that a file added later is run too.
inline std::vector<std::filesystem::path> golden_files(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".golden") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- the programs Kerfgen writes in the cases, for the tests that read them back ----

struct SourceLine {
  std::string text;
  std::string where;  // file:line, for failure messages
};

struct Program {
  std::string file;       // golden file name, or the example's
  std::string case_name;  // empty for an example
  std::vector<SourceLine> lines;
};

// The programs of a golden file: every output and every expected .nc file of each case in
// which Kerfgen writes a program (a case ending with an error status writes none).
inline std::vector<Program> golden_programs(const std::filesystem::path& file) {
  std::vector<Program> programs;
  for (const Case& c : parse(file)) {
    bool refused = false;
    for (const Section& s : c.sections)
      if (s.name == "status" && !s.words.empty() && s.words[0] != "0") refused = true;
    if (refused) continue;
    for (const Section& s : c.sections) {
      bool program = s.name == "output" ||
                     (s.name == "expect" && !s.words.empty() &&
                      std::filesystem::path(s.words[0]).extension() == ".nc");
      if (!program) continue;
      Program p{file.filename().string(), c.name, {}};
      std::istringstream text(s.content);
      int number = s.first_line;
      for (std::string line; std::getline(text, line); ++number)
        p.lines.push_back({line, p.file + ":" + std::to_string(number)});
      programs.push_back(p);
    }
  }
  return programs;
}
