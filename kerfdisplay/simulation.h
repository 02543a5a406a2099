// simulation.h - the part a program cuts: a block of stock kept as a grid of heights, lowered by
// a flat end mill swept along every move of the tool path, and the part as a closed mesh (STL).
#pragma once

#include <cstdio>
#include <vector>

// A block of stock: its corners, in the file's own units.
struct Stock {
  double x_min, y_min, z_min, x_max, y_max, z_max;
};

// The command line's simulation options; all zero when none was given.
struct SimOptions {
  bool show;          // --sim: the picture (and the window at first) shows the part
  const char* stl;    // --stl OUT.stl: write the part and end
  double tool;        // --tool D: the diameter for every move; 0 to follow the program's comments
  bool stock_given;   // --stock XMIN YMIN ZMIN XMAX YMAX ZMAX
  Stock stock;
  double cell;        // --resolution CELL; 0 for kCellsAlong cells on the stock's longer side
  int cells_along;    // the default cell count on the longer side; 0 for kCellsAlong
  // Every cell a sloping move covers worked out alone, as the check of the quicker way that
  // lowers those inside the lower end's disc at once: the same part either way.
  bool cell_by_cell;
  // A lathe program's bar (--stock-diameter, --surface) and the tool's nose radius (--nose).
  double bar_diameter;  // 0 when not given
  bool surface_given;
  double surface;
  double nose;
};

constexpr int kCellsAlong = 1000;
constexpr int kListedRapids = 10;
// Beyond this a grid of 4-byte heights (400 MB) is refused rather than tried.
constexpr double kMostCells = 100e6;

// The stock after the program has cut it: nx by ny cells, row by row from (x_min, y_min), each
// holding the height of the material left over it, from stock.z_min (cut through) to
// stock.z_max (untouched).
struct Part {
  Stock stock;
  int nx, ny;
  double dx, dy;        // the cells' sides
  float* height;        // nx * ny, or nullptr
  double largest_tool;  // the largest diameter that cut
  long cut_moves;       // path segments that reached below the stock's top
  // The kinds of word the reading did not follow: the machine cuts another part when any.
  int unfollowed_kinds;
  struct TurnedPart* turned;  // a lathe program's part instead of the grid, or nullptr
  // Each path vertex's segment, as the path is drawn once the part is known: 0 to 3 for feed,
  // clockwise, counter-clockwise and travel, the last for every move that removed nothing.
  // Empty without the memory for it.
  std::vector<unsigned char> colours;
  bool colours_lost;
  long rapids;  // g0 moves that removed material, and the lines of the first of them
  long rapid_lines[kListedRapids];
};

// The values of --tool, --resolution and --stock (six of them), as the viewer's option table
// hands them over. Each returns 0; 2 when a value is not a number, for the table to say what the
// option needs; 1, after saying why, for a tool or cell of no size.
int set_sim_tool(const char* value, SimOptions& options);
int set_sim_cell(const char* value, SimOptions& options);
int set_sim_stock(const char* const* values, SimOptions& options);
// A number given in full: finite, nothing after it.
bool full_number(const char* text, double& value);

// What a cutting reading learns of the segment that ends at the vertex just read: its colour
// once the part is known, and a rapid that cut.
void note_segment(Part& part, bool removed);

// The first of the rapids that cut, on the console.
void say_rapids(const Part& part);

// Reads the file twice (the first time to find the tool and the stock, with the reader's
// messages when say_reading is set, the second quietly to cut) and leaves interp as the reading
// left it. Returns false, after saying why, when the part cannot be simulated: a lathe program,
// no tool, a tool or stock of no size, too many cells, not enough memory.
bool simulate_file(const char* name, const SimOptions& options, Part& part, bool say_reading);

void release_part(Part& part);

// The block that says what was simulated: the stock, the grid and the tool, or the turned part.
void print_part(std::FILE* out, const Part& part);
// Its line of the rapids that cut, when there are any.
void print_rapids(std::FILE* out, const Part& part);

struct Point {
  double x, y, z;
};

// Where the mesh goes: triangles wound counter-clockwise seen from outside, with the outward
// normal (always along an axis).
class TriangleSink {
 public:
  virtual ~TriangleSink() = default;
  virtual void triangle(const Point& a, const Point& b, const Point& c, const Point& normal) = 0;
};

// The part as a closed surface: the cells' flat tops, the walls between cells of different
// heights, the stock's sides and its bottom. Equal neighbours share their faces, and every edge
// of the mesh is met by exactly as many faces on the one side as on the other.
void mesh_part(const Part& part, TriangleSink& sink);

// Writes the mesh as a binary STL file, and counts its triangles; false when the file cannot be
// written (or would hold more triangles than its 32-bit count can say).
bool write_stl(const char* name, const Part& part, double& triangles);

// --stl: simulates the file with the reader's messages, prints the job summary and the part's,
// writes the STL file and returns the exit status.
int write_part_file(const char* name, const SimOptions& options);
