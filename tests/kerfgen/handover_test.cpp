// handover_test.cpp - a script with `toolpath` ends with the real viewer showing the program
// Kerfgen wrote: the process is replaced, and the viewer reads the output file it was given.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(Handover, ToolpathOpensTheViewerOnTheOutput) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the viewer needs an X display (xvfb-run)";
  char pattern[] = "/tmp/kerfgen-handover-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::path root = pattern;
  fs::create_directories(root / "bin");
  fs::create_directories(root / "work");
  // The viewer is found beside Kerfgen, as it is in the build's bin folder.
  fs::copy_file(KERFGEN_PROGRAM, root / "bin" / "Kerfgen");
  fs::create_symlink(KERFDISPLAY_PROGRAM, root / "bin" / "Kerfdisplay");
  std::ofstream(root / "work" / "script.txt") << "toolpath\ndrill_hole 1 1 0 -0.1\n";

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t child = fork();
  if (child == 0) {
    if (chdir((root / "work").c_str()) != 0) _exit(126);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out[1], 1);
    close(out[0]);
    setenv("PATH", "/usr/bin:/bin", 1);
    execl((root / "bin" / "Kerfgen").c_str(), "Kerfgen", "script.txt", "out.nc", nullptr);
    _exit(127);
  }
  close(out[1]);

  // Read the console until the viewer says which file it reads, for at most 20 seconds.
  const std::string wanted = "Generating Tool Path for out.nc\n";
  std::string console;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (console.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    console.append(buffer, static_cast<size_t>(n));
  }
  std::error_code ignored;
  fs::path running = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", ignored);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(out[0]);

  std::size_t review = console.find("Review script results - Press any key when done.\n");
  std::size_t viewer = console.find(wanted);
  ASSERT_NE(review, std::string::npos) << console;
  ASSERT_NE(viewer, std::string::npos) << console;
  EXPECT_LT(review, viewer) << "the viewer starts only after the closing key wait";
  EXPECT_EQ(running.filename(), "Kerfdisplay") << "Kerfgen's own process became the viewer";
  EXPECT_EQ(console.find("End of g-code file."), std::string::npos);
  fs::remove_all(root);
}

}  // namespace
