// first_view.h - the viewer's first view of a 640 x 480 window, as the checks and benchmarks of
// the path for a view work it out without a window.
#pragma once

#include <cmath>

// The eye 8 above the origin, looking down, a 45-degree field over a 640 x 640 viewport (that of
// `kFirstViewport`), as OpenGL keeps the matrices.
constexpr int kFirstViewport[4] = {0, -80, 640, 640};
inline void first_view(double model_view[16], double projection[16]) {
  for (int k = 0; k < 16; ++k) model_view[k] = projection[k] = k % 5 == 0 ? 1 : 0;
  model_view[14] = -8;
  const double f = 1 / std::tan(22.5 * 3.14159265358979323846 / 180), near = 0.5, far = 60;
  projection[0] = projection[5] = f;
  projection[10] = (far + near) / (near - far);
  projection[11] = -1;
  projection[14] = 2 * far * near / (near - far);
  projection[15] = 0;
}
