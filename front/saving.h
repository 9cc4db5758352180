// Every save of the running program: one at a time, the world never read half-changed, and the last save exactly once.
#pragma once

#include <mutex>
#include <string>

struct front_state;
struct simulation;
struct world_place;

// Held by the main loop while a turn changes the world and by every save while it reads it, so a
// save made from another thread (the display gone, the session ending) never sees half a turn.
std::mutex &saving_world_mutex();

// From here the saves write the simulation's world and counters to `place`, and a row of the world's
// history to `front` after each (all three must live until saving_finish has run); with
// `looking_only` the run writes nothing (a preview).  Before this call there is no world to save.
void saving_begin(world_place *place, const simulation *sim, front_state *front, bool looking_only);

// True when the end of the run will save a world (one is loaded, the place can be written, not a preview).
bool saving_will_save();

// The world saved between two turns, as at the end; false when it failed, with the reason in *why
// (may be null).  Nothing is written once the last save has begun.
bool saving_autosave(std::string *why = nullptr);

// The last save, then the world's lock released: done once, by whichever thread comes first; a
// caller that comes later, or at the same time, waits for it and gets the same result.  True when
// the world was saved or there was nothing to save; *why (may be null) gets the reason otherwise.
bool saving_finish(const char **why = nullptr);
