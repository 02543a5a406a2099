// kerfdisplay_fuzz.cpp - Kerfdisplay's G-code reader under the fuzzer: the input is a G-code
// file, read from the start state into a sink that refuses any vertex that is not finite and
// counts the rest, then summed up as the job summary does, then simulated on a small grid and
// meshed, every corner finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "fuzz_input.h"
#include "gcode_interpreter.h"
#include "gcode_messages.h"
#include "gcode_reader.h"
#include "simulation.h"
#include "turned_part.h"
#include "gcode_summary.h"

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

// The mesh of an n-cell grid has at most its tops, bottoms and two walls a cell, each split
// at the four heights of each corner: a bound that no sound mesh passes.
class CheckingMesh : public TriangleSink {
 public:
  explicit CheckingMesh(std::size_t limit) : limit_(limit) {}
  void triangle(const Point& a, const Point& b, const Point& c, const Point&) override {
    for (const Point* p : {&a, &b, &c}) {
      if (!std::isfinite(p->x) || !std::isfinite(p->y) || !std::isfinite(p->z)) {
        std::fprintf(stderr, "a mesh corner that is not finite\n");
        std::abort();
      }
    }
    if (++count_ > limit_) {
      std::fprintf(stderr, "triangles without bound: over %zu\n", limit_);
      std::abort();
    }
  }

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

  // The program's own tool where it names one, else a quarter.
  SimOptions options{};
  options.tool = interp.tool_line > 0 ? 0 : 0.25;
  options.cells_along = 32;
  // A lathe program turns a bar of 2 across from Y 0, with a round-nosed tool.
  options.bar_diameter = 2;
  options.surface_given = true;
  options.nose = 0.05;
  Part part{};
  if (simulate_file("g.nc", options, part, false)) {
    // A turned part: each piece's outline (its cells' centres and its two ends) turned, capped.
    std::size_t limit = part.turned != nullptr
                            ? static_cast<std::size_t>(4 * part.turned->n + 2) * 2 * kTurnedSides
                            : static_cast<std::size_t>(part.nx + 2) * static_cast<std::size_t>(part.ny + 2) * 40;
    CheckingMesh mesh(limit);
    mesh_part(part, mesh);
    release_part(part);
  }
  return 0;
}
