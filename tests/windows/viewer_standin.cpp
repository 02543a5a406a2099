// viewer_standin.cpp - a Windows program in the viewer's place: records the arguments it was
// given, one a line, in viewer-args.txt, so that a test sees how Kerfgen.exe started it, and
// exits with the status that KERF_VIEWER_STATUS names (0 without it).
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  std::FILE* out = std::fopen("viewer-args.txt", "w");
  if (out == nullptr) return 1;
  for (int k = 1; k < argc; ++k) std::fprintf(out, "%s\n", argv[k]);
  if (std::fclose(out) != 0) return 1;
  const char* status = std::getenv("KERF_VIEWER_STATUS");
  return status != nullptr ? std::atoi(status) : 0;
}
