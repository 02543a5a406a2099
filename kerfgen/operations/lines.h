// lines.h - single moves, slots along a line and slots along an arc.
#pragma once

// side: l and r offset the path by the tool radius to the left or right of the direction of
// travel; c cuts on the line itself.
void move_line2(char side, double xs, double ys, double xe, double ye);
void mill_line(char side, double xs, double ys, double xe, double ye, double start_depth,
               double end_depth);
// The arc runs in the shared arc word's direction about the centre (xc, yc), written as given.
void mill_arc(double xs, double ys, double xe, double ye, double xc, double yc,
              double start_depth, double end_depth);
