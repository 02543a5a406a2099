// sim_controller.h - a stand-in controller on a pseudo-terminal: it echoes every character,
// answers each newline with its prompt character, and records what it received.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimController {
 public:
  struct Options {
    char prompt = '-';
    int line_delay_us = 0;    // time the controller takes for each line before its prompt
    long answer_lines = -1;   // falls silent (records, answers nothing) after this many lines
    long hangup_after = -1;   // closes the line after receiving this many lines
    long read_lines = -1;     // stops reading the line after this many lines: the sender's writes stall
    long garble_at = -1;      // the received character (counted from 0) whose echo comes back wrong
  };

  SimController();
  explicit SimController(const Options& options);
  ~SimController();
  SimController(const SimController&) = delete;
  SimController& operator=(const SimController&) = delete;

  // The device the sender opens (the slave side).
  const std::string& device() const { return device_; }
  // The slave kept open here, so that the line stays up while the sender closes and reopens.
  int slave_fd() const { return slave_; }

  // Fills the line towards the controller until it takes no more (after the controller has
  // stopped reading), so that the sender's next write stalls. Returns the bytes written.
  long fill_line();

  // Sends text unasked, as a controller does with its identification.
  void say(const std::string& text);

  std::string received();
  long lines();
  // When each received newline arrived.
  std::vector<std::chrono::steady_clock::time_point> line_times();
  // Waits at most timeout_ms for the received text to contain text; true when it does.
  bool wait_for(const std::string& text, int timeout_ms);

 private:
  void serve();
  void answer(const char* data, long count);
  void write_all(const std::string& out);

  Options options_;
  int master_ = -1;
  int slave_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::string device_;
  std::mutex mutex_;        // what was received
  std::mutex write_mutex_;  // what is written back
  std::condition_variable changed_;
  std::string received_;
  long lines_ = 0;
  bool stalled_ = false;  // read_lines reached: reads nothing more
  std::vector<std::chrono::steady_clock::time_point> times_;
  std::thread thread_;
};
