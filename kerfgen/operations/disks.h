// disks.h - fixed jobs built from drill_hole and mill_circle: an encoder disk's ring of holes,
// and a grid of disks cut from a sheet.
#pragma once

// n holes on a circle 0.2 inside the rim of a disk centred on the origin, counter-clockwise
// from the negative X axis; depth_a and depth_b must lie within one depth_cut.
void drill_encoder_disk(double disk_diameter, int n, double depth_a, double depth_b);
// As many disks of the given diameter as fit a 9 x 4 sheet, 0.5 thick, one tool width apart.
void disk_array(double disk_diameter);
