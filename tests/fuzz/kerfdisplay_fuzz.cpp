// kerfdisplay_fuzz.cpp - Kerfdisplay's G-code reader under the fuzzer: the input is a G-code
// file, read from the start state into a sink that refuses any vertex that is not finite and
// counts the rest, then summed up as the job summary does.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "fuzz_input.h"
#include "interpreter.h"
#include "messages.h"
#include "reader.h"
#include "summary.h"

namespace {

// A line of two bytes draws at most an arc's 32 segments and the move to its start.
constexpr std::size_t kVerticesPerByte = 40;

class CheckingSink : public PathSink {
 public:
  explicit CheckingSink(std::size_t limit) : limit_(limit) {}
  void vertex(const Colour&, float x, float y, float z) override {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
      std::fprintf(stderr, "a vertex that is not finite: %g %g %g\n", x, y, z);
      std::abort();
    }
    if (++count_ > limit_) {
      std::fprintf(stderr, "vertices without bound: over %zu\n", limit_);
      std::abort();
    }
  }
  void end_path() override {}

 private:
  std::size_t limit_;
  std::size_t count_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!in_private_folder("/tmp/kerfdisplay-fuzz-XXXXXX")) std::abort();
  std::FILE* file = std::fopen("g.nc", "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  message_stream = nullptr;
  interp_reset();
  CheckingSink sink(kVerticesPerByte * (size + 1));
  read_gcode_file("g.nc", sink);
  const BoundingBox& box = interp.box;
  for (double v : {box.x_min, box.x_max, box.y_min, box.y_max, box.z_min, box.z_max}) {
    if (!std::isfinite(v)) {
      std::fprintf(stderr, "a bounding box that is not finite\n");
      std::abort();
    }
  }
  JobSummary summary;
  summarise_file("g.nc", summary);
  return 0;
}
