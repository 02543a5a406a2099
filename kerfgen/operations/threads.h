// threads.h - screw threads milled as helices about the origin.
#pragma once

// An outside thread (mill_mode o) on a stud or an inside one (i) in a bore, by mill_mode, climb
// and thread_hand. The helix spans whole pitches up from end_z, so it may reach above start_z.
void mill_thread(double major_diameter, double minor_diameter, double threads_per_unit,
                 double start_z, double end_z);
