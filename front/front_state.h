// What the front end keeps of its own beside the simulation: the clock's count, the overlay, the clock text's place.
#pragma once

#include "history.h"
#include "life_graph.h"

#include <cstdint>
#include <string>

// Never saved: a new run starts with the overlay off and the clock text in the corner.
struct front_state {
    int32_t cycle_counter = 0; // seconds since the last 21-second event
    int32_t ips = 0;           // steps counted in the last full second, as shown
    int32_t info_on = 0;       // the overlay (F1)
    int32_t text_x = 10;       // where the clock text goes while the overlay is off
    int32_t text_y = 10;
    // Background of the clock and overlay text: -1 transparent while the field is drawn, 0 (opaque
    // black) while the display is off, so new figures cover the old ones.  Follows display_on only
    // at start-up and on F3: a new world switches the display on but keeps it.
    int text_background = -1;
    // In a host's window no key can switch the display back on: the picture always shows there,
    // whatever the world's own flag says (which stays as it is for the next run on its own screen).
    bool always_show = false;
    bool show_text = true; // the drifting time and steps-per-second text (off: --no-text)
    // The world's history file and its rows, which the overlay's graph draws; no path, no history.
    // Written only under the saving mutex: the saves append to it from whichever thread ends the run.
    history_log history;
    life_graph graph;      // the overlay's graph of the history, worked out at most once a second
    long graph_ms = -1;    // when it was (steady clock), -1: never
    int64_t (*utc_now)() = nullptr; // the wall clock for the history's rows; none: no rows are written
    // A line for the user from work done under the saving mutex (a history or counters write that
    // failed, a history set aside), for the main thread to tell; the first one waits for it.
    std::string pending_message;
};
