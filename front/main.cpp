// The program's life: start-up, the screen-saver conventions, the step loop, saving the world and shut-down.
#include "clock.h"
#include "display.h"
#include "display_loss.h"
#include "file_system.h"
#include "handover.h"
#include "keys.h"
#include "notices.h"
#include "pointer.h"
#include "platform.h"
#include "present.h"
#include "reset.h"
#include "run_loop.h"
#include "save_file.h"
#include "saving.h"
#include "screen_saver.h"
#include "settings.h"
#include "simulation.h"
#include "step.h"
#include "world.h"
#include "world_place.h"

#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

static_assert(+pointer_move == MOUSE_FLAG_MOVE && +pointer_left_down == MOUSE_FLAG_LEFT_DOWN &&
                  +pointer_left_up == MOUSE_FLAG_LEFT_UP && +pointer_right_down == MOUSE_FLAG_RIGHT_DOWN &&
                  +pointer_right_up == MOUSE_FLAG_RIGHT_UP && +pointer_middle_down == MOUSE_FLAG_MIDDLE_DOWN &&
                  +pointer_middle_up == MOUSE_FLAG_MIDDLE_UP && +pointer_wheel == MOUSE_FLAG_MOVE_Z &&
                  +pointer_wheel_sideways == MOUSE_FLAG_MOVE_W,
              "the pointer's event bits are Allegro's");

static void stop_on_allegro_mouse(int flags) { stop_on_mouse(flags, mouse_x, mouse_y); }

static long steady_ms()
{
    using namespace std::chrono;
    return (long)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// What the program runs: its simulation and the front end's own state beside it.
struct program {
    std::unique_ptr<simulation> sim = simulation_new();
    front_state front;
    std::string autosave_failure; // why the last autosave failed
    long input_watch_from = -1;   // when the system's own record of input starts to count (own screen only)
    bool input_watched = false;
};

static program &program_of(void *context) { return *static_cast<program *>(context); }

// A second of the clock; the 21-second event moves the clock text, which with the display off
// would stay behind at its old place.
static void tell(const std::string &text);

// What work under the saving mutex left to say (the history's or the counters' file), told once.
static void tell_pending(front_state &f)
{
    std::string said;
    {
        std::lock_guard<std::mutex> hold(saving_world_mutex());
        said.swap(f.pending_message);
    }
    if (!said.empty())
        tell(said);
}

static void one_second(void *context)
{
    program &p = program_of(context);
    bool event;
    {
        // The event writes the history, which a save from another thread also writes.
        std::lock_guard<std::mutex> hold(saving_world_mutex());
        event = clock_tick(*p.sim, p.front);
    }
    if (event && !display_shows(p.sim->world, p.front))
        display_clear();
    tell_pending(p.front);
}

static int64_t utc_now() { return (int64_t)std::time(nullptr); }

static void display_pass(void *context)
{
    program &p = program_of(context);
    // Input the system saw ends the run even when it never reached Allegro; the program's own
    // pointer moves while the screen settles do not count.
    if (p.input_watch_from >= 0 && steady_ms() - p.input_watch_from >= 0) {
        if (!p.input_watched)
            user_input_watch_from_now();
        else if (user_input_seen())
            handover_stop();
        p.input_watched = true;
    }
    display_tick(*p.sim, p.front);
}

static void world_turn(void *context) { sim_steps(*program_of(context).sim, steps_per_turn); }

// Handler work that fell due while the main thread was busy runs here, between two pieces of it.
static bool still_running(const handover_work &work)
{
    handover_run(work);
    return running.load(std::memory_order_relaxed) != 0;
}

// This run's world: its file and the lock that keeps every other copy off it.  Saved only through saving.h.
static world_place place;

// Says something the user should know: on stderr, and on the screen for a while.
static void tell(const std::string &text)
{
    std::fprintf(stderr, "life: %s\n", text.c_str());
    notice_post(text, steady_ms());
}

// Exit status: 0 when the run ended with its world saved, or had nothing to save (configure and
// preview arguments, dismissed during start-up); 1 when it could not start or its world was not saved.
enum : int { exit_saved = 0, exit_not_saved = 1 };

// The one end of every run that has begun: the last save (once, whichever thread comes first), its outcome told.
static int finish_run()
{
    const char *why = nullptr;
    if (saving_finish(&why))
        return exit_saved;
    std::fprintf(stderr, "life: the world was not saved: %s\n", why);
    return exit_not_saved;
}

static bool autosave(void *context) { return saving_autosave(&program_of(context).autosave_failure); }

static void autosave_failed(void *context)
{
    tell("the world could not be saved: " + program_of(context).autosave_failure);
}

// After the display or the session went away: no X, no Allegro exit handlers, only the save.
static void finish_without_display() { std::_Exit(finish_run()); }

int main(int argc, char **argv)
{
    // Before any file or the display is opened: a host may start us with descriptors closed.
    fs_guard_standard_streams();
    // Asked for its usage or version, it answers and leaves: no display, no world.
    const info_request info = info_requested(argc, argv);
    if (info != info_request::none) {
        std::fputs((info == info_request::usage ? usage_text() : version_text()).c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? exit_saved : exit_not_saved;
    }
    // Windows' Settings button: the dialog where the platform has one, else nothing to do.
    unsigned long settings_owner = 0;
    if (screen_saver_configure(argc, argv, &settings_owner)) {
        settings_dialog(settings_owner);
        return exit_saved;
    }
    // Configure and preview have nothing to show: leave before opening the display at all.
    if (screen_saver_quits(argc, argv, window_present_scr_previews()))
        return exit_saved;
    // An X11 host's window to draw into, or our own screen.
    const saver_launch launch =
        screen_saver_launch(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), window_present_scr_previews());
    if (!launch.error.empty()) {
        std::fprintf(stderr, "life: %s\n", launch.error.c_str());
        return exit_not_saved;
    }
    // The settings: those the system's own dialog keeps (Windows), then the options, all read and
    // checked before anything opens.
    run_settings settings;
    settings_stored(settings);
    std::string refused;
    if (!settings_from_arguments(argc, argv, settings, &refused)) {
        std::fprintf(stderr, "life: %s\n", refused.c_str());
        return exit_not_saved;
    }
    const bool own_screen = launch.mode == saver_mode::own_screen;
    // A preview looks at the world as it stands and writes nothing at all.
    const bool preview = launch.mode == saver_mode::preview;

    // One that comes meanwhile stops the program before it loads.
    stop_signals_hold();
    if (allegro_init() != 0) {
        if (allegro_error[0] != '\0') {
            std::fprintf(stderr, "life: cannot start Allegro: %s\n", allegro_error);
        } else {
#ifdef _WIN32
            std::fprintf(stderr, "life: cannot start Allegro\n");
#else
            // Allegro leaves its message empty when the X display cannot be reached.
            const char *display = std::getenv("DISPLAY");
            if (display == nullptr || display[0] == '\0')
                std::fprintf(stderr, "life: cannot start Allegro: DISPLAY is not set\n");
            else
                std::fprintf(stderr, "life: cannot start Allegro: cannot open the X display \"%s\"\n", display);
#endif
        }
        return exit_not_saved;
    }
    running.store(-1, std::memory_order_relaxed);
    stop_signals_take();
    install_timer();
    if (own_screen) {
        // Before the screen opens and moves it: where the pointer goes back at the end.
        pointer_remember();
        install_keyboard();
        install_mouse();
        std::string given_up, why;
        const bool opened = present_open(screen_w, screen_h, &given_up, &why);
        for (size_t at = 0; at < given_up.size();) {
            const size_t end = std::min(given_up.find('\n', at), given_up.size());
            tell(given_up.substr(at, end - at));
            at = end + 1;
        }
        if (!opened) {
            std::fprintf(stderr, "life: cannot open the screen: %s\n", why.c_str());
            return exit_not_saved;
        }
    } else {
        // The host owns the window, the keyboard and the mouse, and ends the run with SIGTERM.
        std::string why;
        if (!present_open_window(launch.window, screen_w, screen_h, &why)) {
            std::fprintf(stderr, "life: cannot draw into the screen saver's window: %s\n", why.c_str());
            return exit_not_saved;
        }
    }
    // From here a lost display saves the world (once there is one) instead of ending inside Xlib.
    display_loss_guard(finish_without_display);

    program run;
    run.front.always_show = !own_screen;
    run.front.show_text = settings.show_text;
    if (own_screen) {
        // Wherever opening the screen left the pointer is where it rests; only leaving it counts.
        pointer_rest(mouse_x, mouse_y, steady_ms());
        run.input_watch_from = steady_ms() + pointer_settle_ms;
        mouse_callback = stop_on_allegro_mouse;
        set_close_button_callback(handover_stop);
    }
    back_buffer = create_bitmap(screen_w, screen_h);
    if (!back_buffer) {
        std::fprintf(stderr, "life: cannot create the back buffer\n");
        return exit_not_saved;
    }
    simulation &sim = *run.sim;
    handover_work work;
    work.context = &run;
    work.clock_tick = one_second;
    work.display_pass = display_pass;

    install_int_ex(handover_clock_timer, SECS_TO_TIMER(1));
    install_int_ex(handover_display_timer, BPS_TO_TIMER(18));

    // Back where the user had it, unless moving it is what ended the run.
    const auto put_pointer_back = [own_screen] {
        if (own_screen && !pointer_moved_by_user())
            pointer_put_back();
    };
    // Dismissed during start-up: leave the stored world as it is.
    if (!still_running(work)) {
        put_pointer_back();
        return exit_saved;
    }
    display_paint_old_field(sim.world.field_width * cell_px, sim.world.field_height * cell_px);
    world_reset(sim);
    // The lock is held from before the load until after the last save: no other copy writes this world.
    place = preview ? look_up_world_place(argv[0]) : claim_world_place(argv[0]);
    // Where an installed program keeps its world is said on stderr; it is no news on the screen each time.
    if (place.notice_is_routine)
        std::fprintf(stderr, "life: %s\n", place.notice.c_str());
    else if (!place.notice.empty())
        tell(place.notice);
    if (!still_running(work)) {
        release_world_place(place);
        put_pointer_back();
        return exit_saved;
    }
    // A preview cannot take a file (even one caught in the middle of an in-place save): a new world then, quietly.
    if (preview) {
        if (!place.path.empty()) {
            const load_outcome loaded = load_world(sim, place.path.c_str(), false);
            // Its graph shows the world's history as it stands; nothing is written.
            history_open(run.front.history, place.path, sim.life, loaded.life_restarted, false);
            run.front.history.path.clear();
        }
    } else if (!place.path.empty()) {
        const load_outcome loaded = load_world(sim, place.path.c_str());
        // The message says what became of the file; one still under the world's name is never saved over.
        if (loaded.result == load_refused)
            tell(loaded.message);
        if (loaded.left_in_place)
            place.can_save = false;
        if (place.in_place) {
            // The folder takes no new file: neither counters nor a history can be kept beside the world.
            tell("the world's counters and history are not kept: its folder " + fs_folder_of(place.path) +
                 " cannot be written");
        } else if (place.can_save) {
            if (!loaded.life_message.empty())
                tell(loaded.life_message);
            const std::string said =
                history_open(run.front.history, place.path, sim.life, loaded.life_restarted, true);
            if (!said.empty())
                tell(said);
            run.front.utc_now = utc_now;
            // A history begins with the moment it began, so its first interval can be drawn too.
            if (run.front.history.rows.empty())
                front_history_row(sim, run.front);
        }
    }
    // Dismissed while loading: the file is untouched.
    if (!still_running(work)) {
        release_world_place(place);
        put_pointer_back();
        return exit_saved;
    }
    // The population asked for, as keypad presses would make it: saved as usual.
    if (settings.population)
        sim.world.population = settings.population;
    saving_begin(&place, &sim, &run.front, preview);
    if (!display_shows(sim.world, run.front))
        display_clear();
    text_background_follow_display(sim.world, run.front);

    run_loop_hooks hooks;
    hooks.work = work;
    hooks.step = world_turn;
    hooks.now_ms = steady_ms;
    hooks.save = place.can_save && !preview ? autosave : nullptr;
    hooks.save_failed = autosave_failed;
    hooks.max_ips = settings.max_ips;
    run_loop(hooks);
    display_loss_finish();

    const int status = finish_run();
    // The last save's word on the counters or the history can only go to stderr now.
    if (!run.front.pending_message.empty())
        std::fprintf(stderr, "life: %s\n", run.front.pending_message.c_str());
    // The pointer goes back before the process may end (Windows ends in process_end); its move is no user's.
    if (own_screen)
        mouse_callback = nullptr;
    put_pointer_back();
    process_end(status);

    remove_int(handover_clock_timer);
    remove_int(handover_display_timer);
    destroy_bitmap(back_buffer);
    back_buffer = nullptr;
    present_close();
    return status;
}
END_OF_MAIN()
