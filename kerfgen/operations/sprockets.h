// sprockets.h - the outline of straight-sided sprocket teeth about the origin.
#pragma once

// Cuts at end_z in one level, three times round with a shrinking allowance, and leaves
// cut_rough 0.005 and cut_finish 0.001 for later commands.
void mill_sprocket(double outside_diameter, double hole_diameter, int teeth, double tooth_width,
                   double tooth_height, double start_z, double end_z);
