// Every save of the running program: one at a time, the world never read half-changed, and the last save exactly once.
#include "saving.h"

#include "clock.h"
#include "front_state.h"
#include "save_file.h"
#include "simulation.h"
#include "world_place.h"

#include <atomic>
#include <string>

static std::mutex world_mutex;
// Written and read only under world_mutex.
static world_place *place = nullptr;
static const simulation *sim = nullptr;
static front_state *front = nullptr;
static bool looking = false;
static bool finished = false;
static bool finished_saved = false;
static std::string finished_why;
// Read without the lock: the display going away asks it from inside Xlib's error handlers.
static std::atomic<bool> will_save{false};

std::mutex &saving_world_mutex() { return world_mutex; }

void saving_begin(world_place *where, const simulation *saved, front_state *shown, bool looking_only)
{
    std::lock_guard<std::mutex> hold(world_mutex);
    place = where;
    sim = saved;
    front = shown;
    looking = looking_only;
    will_save.store(!finished && !looking && place && place->can_save);
}

bool saving_will_save() { return will_save.load(); }

// The world and its counters together, then the history's row for the moment they were saved.
static save_result save_now()
{
    const save_result r = save_world(sim->world, *place, &sim->life);
    if (r.saved && front) {
        if (!r.counters_why.empty() && front->pending_message.empty())
            front->pending_message = r.counters_why;
        front_history_row(*sim, *front);
    }
    return r;
}

bool saving_autosave(std::string *why)
{
    std::lock_guard<std::mutex> hold(world_mutex);
    if (finished || looking || !place)
        return true;
    const save_result r = save_now();
    if (why)
        *why = r.why;
    return r.saved;
}

bool saving_finish(const char **why)
{
    std::lock_guard<std::mutex> hold(world_mutex);
    if (!finished) {
        finished = true;
        will_save.store(false);
        // Nothing loaded yet (dismissed during start-up) or only looking: there is nothing to save.
        const save_result r = !place || looking ? save_result() : save_now();
        finished_saved = !place || looking || r.saved;
        finished_why = r.why;
        if (place)
            release_world_place(*place);
    }
    if (why)
        *why = finished_why.c_str();
    return finished_saved;
}
