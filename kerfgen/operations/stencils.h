// stencils.h - the pad apertures of two solder-paste stencils, one straight slot per pad, about
// the package centre (cx, cy), every slot at depth z.
#pragma once

// 176 pads, 44 on each of four sides, 0.5 mm pitch.
void mill_QFP176(double cx, double cy, double z);
// 54 pads, 27 on each of two sides, 0.8 mm pitch.
void mill_TSSOP54(double cx, double cy, double z);
