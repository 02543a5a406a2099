// kerfgen_wine_test.cpp - what the golden cases cannot say of Kerfgen.exe's hand-over to the
// viewer: names with blanks reach it whole, and its exit status becomes Kerfgen's.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "child.h"

namespace fs = std::filesystem;

namespace {

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Folder {
  Folder() {
    char pattern[] = "/tmp/kerfgen-wine-XXXXXX";
    if (mkdtemp(pattern) != nullptr) root = pattern;
    fs::create_directories(root / "a bin");
    fs::create_directories(root / "job folder");
    fs::copy_file(KERFGEN_PROGRAM, root / "a bin" / "Kerfgen.exe");
    fs::copy_file(KERFGEN_VIEWER_STANDIN, root / "a bin" / "Kerfdisplay.exe");
    std::ofstream(root / "job folder" / "my part.txt") << "home_zero\ntoolpath\n";
    std::ofstream(root / "stdin").close();
  }
  ~Folder() { fs::remove_all(root); }
  // Runs Kerfgen.exe from its folder with a blank in the name, in a job folder with one.
  int run(const std::string& viewer_status) const {
    ChildSetup setup{(root / "job folder").string(), (root / "stdin").string(), (root / "stdout").string(),
                     (root / "stderr").string(), {"KERF_VIEWER_STATUS=" + viewer_status}};
    bool timed_out = false;
    int status = run_limited(KERFGEN_WRAPPER,
                             {"wrapper", (root / "a bin" / "Kerfgen.exe").string(), "my part.txt", "my part.nc"},
                             setup, std::chrono::seconds(20), &timed_out);
    EXPECT_FALSE(timed_out);
    return status;
  }
  fs::path root;
};

TEST(WineHandOver, NamesWithBlanksReachTheViewerWholeAndItsStatusIsKerfgens) {
  Folder folder;
  ASSERT_FALSE(folder.root.empty());
  EXPECT_EQ(folder.run("0"), 0) << read_text(folder.root / "stderr");
  EXPECT_EQ(read_text(folder.root / "job folder" / "viewer-args.txt"), "my part.nc\r\n");
  EXPECT_TRUE(fs::exists(folder.root / "job folder" / "my part.nc"));
  EXPECT_EQ(folder.run("3"), 3) << "the viewer's status, after waiting for it";
}

}  // namespace
