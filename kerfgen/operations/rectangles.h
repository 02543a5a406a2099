// rectangles.h - rectangles by centre and full lengths: outlines, boxes, cleared surfaces and
// rounded boxes.
#pragma once

// The rectangle as a tool-centre outline, in the mill_dir direction.
void mill_square(double xc, double yc, double xl, double yl, double start_depth, double end_depth);
// mode (i, o or c, already stored as mill_mode): outline inside, outline outside, or cleared.
void mill_box(char mode, double xc, double yc, double xl, double yl, double start_depth,
              double end_depth);
// The rectangle cleared with the tool inside it: an outline pass, then zig-zag rows.
void mill_surface(double xc, double yc, double xl, double yl, double start_depth,
                  double end_depth);
// As mill_surface, with a relief move into each corner of the outline.
void mill_surface_square(double xc, double yc, double xl, double yl, double start_depth,
                         double end_depth);
// Outside outline with rounded corners, or with mill_mode i the cleared rectangle; the caller
// has made sure the corner radius is at least the tool radius.
void mill_round_box(double xc, double yc, double xl, double yl, double corner_radius,
                    double start_depth, double end_depth);
