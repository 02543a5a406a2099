// hexagons.h - hexagons (nut and bolt heads) milled out of round stock about the origin.
#pragma once

// The first depth is recorded in the comment only; every pass is cut at `depth`.
void mill_hex(double stock_diameter, double across_flats, double first_depth, double depth);
