// cylinders.h - round stock turned down to a diameter by milling around it.
#pragma once

// The stock stands on the origin. first_depth is only recorded in the comment; the whole
// operation runs at cutting_depth.
void mill_cylinder(double stock_diameter, double finish_diameter, double first_depth,
                   double cutting_depth);
