#pragma once
// ostrel --watch: the map processed at once, and again after every save by
// another program.
#include <ostream>
#include "run/run.h"

// Processes the map of request (a run, a check or an output) at once, then
// again each time another program has saved the map completely: the map (for
// a map folder, every file of the map) stayed unchanged for a quiet time, and
// an archive opens as one. Its own stores start no round. Writes one line per
// round, with the time of day: the result on out, or the run's own stop line
// on err. Returns 1, with a line, when the map folder is gone, and 0 when the
// watch table asks it to end; a signal ends it otherwise.
int watchMap(const Request& request, const Outside& outside, std::ostream& out, std::ostream& err);

// Signal-safe: true while a watch waits between rounds.
bool watchIsIdle();
