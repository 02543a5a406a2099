// writer.cpp - the six motion line formats in their compact and verbose layouts, and the
// holding of a command's lines until the command has ended.
#include "writer.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <initializer_list>
#ifdef _WIN32
#include <windows.h>
#endif

#include "params.h"

Writer writer;

namespace {

bool verbose() { return params.verbose == 'y'; }

void remember(double x, double y) {
  writer.last_x = x;
  writer.last_y = y;
}

// NOTE: every "%10s" of the verbose layout gets an empty text: ten blanks keep the X, Y, Z,
// R/I and F columns aligned between the different kinds of line.
const char kBlank[] = "";

// The lines of the command that is running, held in memory, and what the writer state was
// before it.
struct Held {
  bool active = false;
  bool spoilt = false;  // a number among the lines is not finite
  Writer before{};
  std::FILE* lines = nullptr;  // writer.out while the command runs
  char* text = nullptr;        // what `lines` holds, as its last flush left it
  std::size_t size = 0;
};

Held held;

#ifdef _WIN32
// NOTE: the Windows C library has no stream in memory; the held lines wait in a temporary file
// instead ("D": removed when closed, at the latest at exit). Binary, so that the line ends are
// turned into the system's own once only, when the lines reach the output.
std::FILE* open_held() {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "kg", 0, name) == 0) return nullptr;
  return std::fopen(name, "w+bD");
}

void put_held(std::FILE* to) {
  long size = std::ftell(held.lines);
  std::rewind(held.lines);
  char block[4096];
  while (size > 0) {
    std::size_t part = std::fread(block, 1, size < 4096 ? static_cast<std::size_t>(size) : sizeof block, held.lines);
    if (part == 0) break;
    std::fwrite(block, 1, part, to);
    size -= static_cast<long>(part);
  }
}
#else
std::FILE* open_held() { return open_memstream(&held.text, &held.size); }

void put_held(std::FILE* to) { std::fwrite(held.text, 1, held.size, to); }
#endif

void put_args(const char* format, va_list args) {
  if (!(held.active && held.spoilt)) std::vfprintf(writer.out, format, args);
}

// Writes a line whose numbers the caller has checked.
__attribute__((format(printf, 1, 2))) void put(const char* format, ...) {
  va_list args;
  va_start(args, format);
  put_args(format, args);
  va_end(args);
}

// False, and the held command spoilt, when a number is not finite.
bool finite(std::initializer_list<double> numbers) {
  for (double v : numbers) {
    if (!std::isfinite(v)) {
      held.spoilt = true;
      return false;
    }
  }
  return true;
}

// True when every floating-point argument that the format converts is finite. Walks the
// conversions as printf does, taking each argument by the type its conversion names.
bool numbers_finite(const char* format, va_list args) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (*++p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    for (int part = 0; part < 2; ++part) {  // width, then precision
      if (part == 1) {
        if (*p != '.') break;
        ++p;
      }
      if (*p == '*') {
        (void)va_arg(args, int);
        ++p;
      }
      while (*p >= '0' && *p <= '9') ++p;
    }
    int longs = 0;
    bool long_double = false;
    for (; *p != '\0' && std::strchr("hlLjzt", *p) != nullptr; ++p) {
      if (*p == 'l') ++longs;
      if (*p == 'L') long_double = true;
      if (*p == 'j' || *p == 'z' || *p == 't') longs = 2;
    }
    if (*p == '\0') break;
    if (std::strchr("fFeEgGaA", *p) != nullptr) {
      long double value = long_double ? va_arg(args, long double) : va_arg(args, double);
      if (!std::isfinite(value)) return false;
    } else if (std::strchr("spn", *p) != nullptr) {
      (void)va_arg(args, void*);
    } else if (longs >= 2) {
      (void)va_arg(args, long long);
    } else if (longs == 1) {
      (void)va_arg(args, long);
    } else {
      (void)va_arg(args, int);
    }
  }
  return true;
}

// Less than this rounds to 0 in the compact line's five decimals.
bool vanishes(double v) { return std::fabs(v) < 0.000005; }

// An arc from the last position to (x, y) of radius r that is no arc at all: it ends where it
// starts and has no radius.
bool no_arc(double x, double y, double r) {
  return vanishes(x - writer.last_x) && vanishes(y - writer.last_y) && vanishes(r);
}

// One centre word: the centre itself, or its offset from the arc's start after g91.1.
double centre_word(double centre, double start) {
  return writer.centres_relative ? centre - start : centre;
}

}  // namespace

void writer_reset() {
  writer.line = 0;
  writer.last_x = 0;
  writer.last_y = 0;
  writer.centres_relative = false;
  set_arc_word("g3");
}

void set_arc_word(const char* word) {
  std::snprintf(writer.arc_word, sizeof writer.arc_word, "%s", word);
}

int next_line() { return writer.line++; }

void write_xy(double x, double y, double feed) {
  if (!finite({x, y, feed})) return;
  if (verbose())
    put("n%-4d g1 x%-+9.6f y%-+9.6f %10s %10s f%-9.6f\n", next_line(), x, y, kBlank, kBlank, feed);
  else
    put("n%d g1 x%.5f y%.5f f%.5f\n", next_line(), x, y, feed);
  remember(x, y);
}

void write_z(double z, double feed) {
  if (!finite({z, feed})) return;
  if (verbose())
    put("n%-4d g1 %10s %10s z%-+9.6f %10s f%.6f\n", next_line(), kBlank, kBlank, z, kBlank, feed);
  else
    put("n%d g1 z%.5f f%.5f\n", next_line(), z, feed);
}

void write_arc_r(double x, double y, double r, double feed) {
  if (!finite({x, y, r, feed})) return;
  if (no_arc(x, y, r)) return;
  if (verbose())
    put("n%-4d %s x%-+9.6f y%-+9.6f r%-9.6f %10s f%-9.6f\n", next_line(), writer.arc_word, x, y, r,
        kBlank, feed);
  else
    put("n%d %s x%.5f y%.5f r%.5f f%.5f\n", next_line(), writer.arc_word, x, y, r, feed);
  remember(x, y);
}

void write_arc_rz(double x, double y, double z, double r, double feed) {
  if (!finite({x, y, z, r, feed})) return;
  if (no_arc(x, y, r)) return write_z(z, feed);
  if (verbose())
    put("n%-4d %s x%-+9.6f y%-+9.6f z%-+9.6f r%-9.6f %10s f%-9.6f\n", next_line(), writer.arc_word,
        x, y, z, r, kBlank, feed);
  else
    put("n%d %s x%.5f y%.5f z%.5f r%.5f f%.5f\n", next_line(), writer.arc_word, x, y, z, r, feed);
  remember(x, y);
}

void write_arc_ij(double x, double y, double cx, double cy, double feed) {
  if (!finite({x, y, cx, cy, feed})) return;
  if (no_arc(x, y, std::hypot(cx - writer.last_x, cy - writer.last_y))) return;
  double i = centre_word(cx, writer.last_x), j = centre_word(cy, writer.last_y);
  if (verbose())
    put("n%-4d %s x%-+9.6f y%-+9.6f i%-+9.6f j%-+9.6f f%-9.6f\n", next_line(), writer.arc_word, x,
        y, i, j, feed);
  else
    put("n%d %s x%.5f y%.5f i%.5f j%.5f f%.5f\n", next_line(), writer.arc_word, x, y, i, j, feed);
  remember(x, y);
}

void write_arc_ijz(double x, double y, double z, double cx, double cy, double feed) {
  if (!finite({x, y, z, cx, cy, feed})) return;
  if (no_arc(x, y, std::hypot(cx - writer.last_x, cy - writer.last_y))) return write_z(z, feed);
  double i = centre_word(cx, writer.last_x), j = centre_word(cy, writer.last_y);
  if (verbose())
    put("n%-4d %s x%-+9.6f y%-+9.6f z%-+9.6f i%-+9.6f j%-+9.6f f%-9.6f\n", next_line(),
        writer.arc_word, x, y, z, i, j, feed);
  else
    put("n%d %s x%.5f y%.5f z%.5f i%.5f j%.5f f%.5f\n", next_line(), writer.arc_word, x, y, z, i, j,
        feed);
  remember(x, y);
}

void write_modal(const char* line) {
  if (std::strcmp(line, "g91.1\n") == 0) writer.centres_relative = true;
  if (std::strcmp(line, "g90.1\n") == 0) writer.centres_relative = false;
  put("%s", line);
}

void write_stop() { put(";\nn%-4d m01\n", next_line()); }

void write_end() { put(";\nn%-4d m30\n", next_line()); }

void write_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (held.active && !held.spoilt) {
    va_list check;
    va_copy(check, args);
    held.spoilt = !numbers_finite(format, check);
    va_end(check);
  }
  put_args(format, args);
  va_end(args);
}

void command_begin() {
  if (held.lines == nullptr) held.lines = open_held();
  // Without room to hold them (no temporary folder), the lines go straight to the output.
  if (held.lines == nullptr) return;
  std::fseek(held.lines, 0, SEEK_SET);
  held.active = true;
  held.spoilt = false;
  held.before = writer;
  writer.out = held.lines;
}

bool command_end(const char* command) {
  if (!held.active) return true;
  std::fflush(held.lines);  // sets what put_held finds
  held.active = false;
  writer.out = held.before.out;
  if (held.spoilt) {
    writer = held.before;
    write_text("; error - %s: a computed value is not a finite number\n", command);
  } else {
    put_held(writer.out);
  }
  return !held.spoilt;
}
