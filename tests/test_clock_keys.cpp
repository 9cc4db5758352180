// The front end's logic without a display: the clock, the key table, the hand-over and the screen-saver arguments.
#include "clock.h"
#include "cycle.h"
#include "field.h"
#include "handover.h"
#include "keys.h"
#include "picture_layout.h"
#include "pointer.h"
#include "reset.h"
#include "run_loop.h"
#include "screen_saver.h"
#include "simulation.h"
#include "step.h"
#include "test_support.h"
#include "world.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

int passes = 0;

struct front_test : ::testing::Test {
    std::unique_ptr<simulation> sim = simulation_new();
    world_state &world = sim->world;
    front_state front;
    int clears = 0;
    void SetUp() override
    {
        passes = 0;
        handover_clear();
        running.store(-1);
        world_reset(*sim);
    }
    // One second of the clock as the program takes it: the screen is cleared when the event ran
    // with the display off.
    bool tick()
    {
        const bool event = clock_tick(*sim, front);
        if (event && !world.display_on)
            clears++;
        return event;
    }
    // The hand-over's work on this test's simulation.
    static void tick_hook(void *context) { static_cast<front_test *>(context)->tick(); }
    static void count_pass(void *) { passes++; }
    handover_work work() { return {this, tick_hook, count_pass}; }
};

// Whether every figure of the front end's state is the same.
bool front_equal(const front_state &a, const front_state &b)
{
    return a.cycle_counter == b.cycle_counter && a.ips == b.ips && a.info_on == b.info_on && a.text_x == b.text_x &&
           a.text_y == b.text_y && a.text_background == b.text_background;
}

// What n clock ticks leave a new world (no step has run): the 21-second event once per 21 ticks,
// time n, every live slot n seconds old but slot 0, which each cull takes (every tally is 0 and
// ties go to the lowest slot) and which is newborn.  `text` gets the counter n mod 21 and the
// clock text's place after the last event, drawn within the field from the event's two draws.
std::unique_ptr<world_state> expected_after_ticks(const world_state &start, int n, front_state &text)
{
    const auto s = simulation_new();
    simulation_set_world(*s, start);
    text = front_state{};
    for (int e = 0; e < n / 21; e++) {
        const cycle_draws d = cycle_event(*s);
        text.text_x = d.x % (start.field_width * cell_px - 150) + 10;
        text.text_y = d.y % (start.field_height * cell_px - 50) + 10;
    }
    text.cycle_counter = n % 21;
    auto out = world_snapshot(*s);
    out->time = n;
    for (int c = 0; c < out->population; c++)
        out->creatures[c].age = c == 0 && n >= 21 ? 0 : n;
    return out;
}

TEST_F(front_test, clock_counts_time_ages_and_steps_per_second)
{
    world.population = 10;
    world.creatures[3].age = 7;
    world.creatures[20].age = 4; // out of play: does not age
    world.steps_this_second = 1234;
    EXPECT_FALSE(tick());
    EXPECT_EQ(world.time, 1);
    EXPECT_EQ(world.creatures[3].age, 8);
    EXPECT_EQ(world.creatures[9].age, 1);
    EXPECT_EQ(world.creatures[20].age, 4);
    EXPECT_EQ(front.ips, 1234);
    EXPECT_EQ(world.steps_this_second, 0);
    // The figure is the last second's, not an average.
    world.steps_this_second = 10;
    EXPECT_FALSE(tick());
    EXPECT_EQ(front.ips, 10);
    EXPECT_EQ(front.cycle_counter, 2);
}

TEST_F(front_test, every_21st_tick_reseeds_culls_and_moves_the_text_once)
{
    auto start = world_snapshot(world);
    for (int n : {20, 21, 42}) {
        simulation_set_world(*sim, *start);
        front = front_state{};
        front_state text;
        auto expected = expected_after_ticks(*start, n, text);
        int events = 0;
        for (int t = 0; t < n; t++)
            events += tick();
        EXPECT_EQ(events, n / 21) << n << " ticks";
        EXPECT_EQ(front.cycle_counter, n % 21) << n << " ticks";
        EXPECT_TRUE(world_equal(world, *expected)) << n << " ticks";
        EXPECT_EQ(front.text_x, text.text_x) << n << " ticks";
        EXPECT_EQ(front.text_y, text.text_y) << n << " ticks";
    }
    // 20 ticks drew nothing; 21 drew (reseed, cull, two text draws); 42 twice as many.
    simulation_set_world(*sim, *start);
    front = front_state{};
    for (int t = 0; t < 20; t++)
        tick();
    EXPECT_EQ(world.rng_state, start->rng_state);
    EXPECT_EQ(front.text_x, 10);
    tick();
    EXPECT_NE(world.rng_state, start->rng_state);
    EXPECT_GE(front.text_x, 10);
    EXPECT_LE(front.text_x, 659);
    EXPECT_GE(front.text_y, 10);
    EXPECT_LE(front.text_y, 559);
}

TEST_F(front_test, the_event_clears_the_screen_only_with_the_display_off)
{
    // clock_tick says when the event ran; the caller (tick) clears only with the display off.
    for (int t = 0; t < 20; t++)
        EXPECT_FALSE(tick());
    EXPECT_TRUE(tick());
    EXPECT_EQ(clears, 0);
    world.display_on = 0;
    for (int t = 0; t < 20; t++)
        EXPECT_FALSE(tick());
    EXPECT_EQ(clears, 0);
    EXPECT_TRUE(tick());
    EXPECT_EQ(clears, 1);
}

TEST_F(front_test, clock_survives_counters_at_their_limit)
{
    world.time = INT_MAX;
    world.creatures[0].age = INT_MAX;
    world.population = 50;
    tick();
    EXPECT_EQ(world.time, INT_MIN);
    EXPECT_EQ(world.creatures[0].age, INT_MIN);
    EXPECT_EQ(front.cycle_counter, 1);
}

TEST_F(front_test, clock_on_a_field_too_small_for_the_text)
{
    world.field_width = 10;
    world.field_height = 5;
    for (int t = 0; t < 21; t++)
        tick();
    EXPECT_EQ(front.cycle_counter, 0);
    EXPECT_EQ(front.text_x, 10);
    EXPECT_EQ(front.text_y, 10);
}

TEST_F(front_test, f1_toggles_the_overlay)
{
    key_command(*sim, front, 47);
    EXPECT_EQ(front.info_on, 1);
    key_command(*sim, front, scancode_f1);
    EXPECT_EQ(front.info_on, 0);
    EXPECT_NE(running.load(), 0);
}

TEST_F(front_test, f2_recolours_every_slot)
{
    auto expected = world_snapshot(world);
    colorize(*expected);
    const int32_t before = world.creatures[0].color;
    key_command(*sim, front, 48);
    EXPECT_TRUE(world_equal(world, *expected));
    EXPECT_NE(world.creatures[0].color, before);
    EXPECT_NE(running.load(), 0);
}

TEST_F(front_test, f3_switches_the_display_and_the_text_background)
{
    EXPECT_EQ(front.text_background, -1);
    key_command(*sim, front, 49);
    EXPECT_EQ(world.display_on, 0);
    EXPECT_EQ(front.text_background, 0);
    key_command(*sim, front, 49);
    EXPECT_EQ(world.display_on, 1);
    EXPECT_EQ(front.text_background, -1);
    EXPECT_NE(running.load(), 0);
}

TEST_F(front_test, f4_resets_the_field_and_f12_the_world)
{
    auto expected = world_snapshot(world);
    field_reset(*expected);
    for (int i = 0; i < 30; i++)
        world.cell_food[cell_index(i, 10)] = 0.5f;
    key_command(*sim, front, 50);
    EXPECT_TRUE(world_equal(world, *expected));

    const auto other = simulation_new();
    simulation_set_world(*other, world);
    world_reset(*other);
    const auto fresh = world_snapshot(*other);
    world.time = 500;
    world.creatures[4].x = 33.25f;
    key_command(*sim, front, scancode_f3); // the display off, the text on black
    front.info_on = 1;
    key_command(*sim, front, 58);
    EXPECT_EQ(world.time, 0);
    EXPECT_EQ(world.display_on, 1);
    EXPECT_EQ(front.text_background, 0); // a new world keeps the text background
    EXPECT_EQ(front.info_on, 1); // the overlay keeps its state
    EXPECT_TRUE(world_equal(world, *fresh));
    EXPECT_NE(running.load(), 0);
}

TEST_F(front_test, population_keys_stay_between_2_and_50)
{
    EXPECT_EQ(world.population, 50);
    key_command(*sim, front, 89); // keypad plus at 50
    EXPECT_EQ(world.population, 50);
    key_command(*sim, front, 61); // minus
    EXPECT_EQ(world.population, 49);
    key_command(*sim, front, 88); // keypad minus
    EXPECT_EQ(world.population, 48);
    key_command(*sim, front, 89);
    EXPECT_EQ(world.population, 49);
    world.population = 2;
    key_command(*sim, front, 61);
    key_command(*sim, front, 88);
    EXPECT_EQ(world.population, 2);
    EXPECT_NE(running.load(), 0);
}

TEST_F(front_test, every_other_key_quits_and_changes_nothing)
{
    auto before = world_snapshot(world);
    const front_state front_before = front;
    for (int scancode : {1, 24, 46, 51, 57, 59, 62, 75, 87, 90, 103, 0, 126}) {
        running.store(-1);
        key_command(*sim, front, scancode);
        EXPECT_EQ(running.load(), 0) << "scancode " << scancode;
        EXPECT_TRUE(world_equal(world, *before)) << "scancode " << scancode;
        EXPECT_TRUE(front_equal(front, front_before)) << "scancode " << scancode;
    }
}

TEST_F(front_test, handover_runs_due_ticks_in_order_and_one_display_pass)
{
    EXPECT_FALSE(handover_pending());
    handover_run(work());
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(world.time, 0);

    for (int t = 0; t < 21; t++)
        handover_clock_timer();
    for (int t = 0; t < 5; t++)
        handover_display_timer();
    EXPECT_TRUE(handover_pending());
    handover_run(work());
    EXPECT_FALSE(handover_pending());
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(world.time, 21);
    EXPECT_EQ(front.cycle_counter, 0);

    handover_display_timer();
    handover_run(work());
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(world.time, 21);
}

TEST_F(front_test, the_users_mouse_and_stop_requests_end_the_loop)
{
    pointer_rest(400, 300, 0);
    stop_on_mouse(pointer_move, 400, 300);
    EXPECT_NE(running.load(), 0) << "a move that goes nowhere";
    stop_on_mouse(pointer_right_down, 400, 300);
    EXPECT_EQ(running.load(), 0);
    running.store(-1);
    handover_stop();
    EXPECT_EQ(running.load(), 0);
}

// The loop's clock moves one minute per display pass, and every step brings a pass.
long loop_clock_ms = 0;
std::vector<long> save_times;
std::vector<long> failures_told;
bool saves_fail_from_20_to_35 = false;
long loop_now() { return loop_clock_ms; }
void minute_pass(void *)
{
    loop_clock_ms += 60 * 1000;
    if (loop_clock_ms >= 45 * 60 * 1000)
        handover_stop();
    handover_display_timer();
}
bool loop_save(void *)
{
    save_times.push_back(loop_clock_ms / 60000);
    const long minute = loop_clock_ms / 60000;
    return !(saves_fail_from_20_to_35 && minute >= 20 && minute <= 35);
}
void loop_save_failed(void *) { failures_told.push_back(loop_clock_ms / 60000); }
// A turn of the world: the program's steps on the test's simulation.
void loop_step(void *context) { sim_steps(*static_cast<front_test *>(context)->sim, steps_per_turn); }

// Every ten minutes the world is saved between two steps; a failing save is told once, tried again
// ten minutes later, and the run goes on.
TEST_F(front_test, the_loop_saves_every_ten_minutes_and_tells_a_failure_once)
{
    loop_clock_ms = 0;
    save_times.clear();
    failures_told.clear();
    saves_fail_from_20_to_35 = true;
    handover_display_timer();
    run_loop_hooks hooks;
    hooks.work = work();
    hooks.work.display_pass = minute_pass;
    hooks.step = loop_step;
    hooks.now_ms = loop_now;
    hooks.save = loop_save;
    hooks.save_failed = loop_save_failed;
    EXPECT_EQ(run_loop(hooks), 45);
    EXPECT_EQ(save_times, (std::vector<long>{10, 20, 30, 40}));
    EXPECT_EQ(failures_told, (std::vector<long>{20}));

    // Without a save (a world that is not to be written) the loop just runs.
    running.store(-1);
    loop_clock_ms = 0;
    save_times.clear();
    hooks.save = nullptr;
    handover_display_timer();
    EXPECT_EQ(run_loop(hooks), 45);
    EXPECT_TRUE(save_times.empty());
}

long slept_ms = 0;
void fake_sleep(long ms)
{
    ASSERT_GT(ms, 0);
    ASSERT_LE(ms, 5);
    slept_ms += ms;
    loop_clock_ms += ms;
    if (loop_clock_ms >= 10000)
        handover_stop();
}

// Under a speed limit the loop sleeps until each turn is due: 10 s at 1000 steps a second run 10 000
// steps (a turn is 16), with the sleeping most of the time; a stall is not made up afterwards.
TEST_F(front_test, a_speed_limit_paces_the_turns_by_sleeping)
{
    running.store(-1);
    handover_clear();
    loop_clock_ms = 0;
    slept_ms = 0;
    run_loop_hooks hooks;
    hooks.work = work();
    hooks.step = loop_step;
    hooks.now_ms = loop_now;
    hooks.max_ips = 1000;
    hooks.sleep_ms = fake_sleep;
    const long turns = run_loop(hooks);
    EXPECT_NEAR(turns * steps_per_turn, 10000, steps_per_turn);
    EXPECT_GE(slept_ms, 9900);

    // Five seconds lost at once (the machine asleep): the count starts afresh, with no rush after it.
    running.store(-1);
    loop_clock_ms = 0;
    static int turn;
    turn = 0;
    hooks.step = [](void *context) {
        loop_step(context);
        if (++turn == 100)
            loop_clock_ms += 5000;
    };
    const long after_stall = run_loop(hooks);
    EXPECT_NEAR(after_stall * steps_per_turn, 5000, 2 * steps_per_turn);
}

// Opening the screen warps the pointer and maps a window under it; those moves arrive late and
// must not end the run, while the user's own movement, click or wheel always does.
TEST(pointer, only_the_users_mouse_counts)
{
    pointer_rest(960, 540, 1000);
    EXPECT_FALSE(pointer_is_user(pointer_move, 100, 100, 1000 + pointer_settle_ms - 1)) << "settling";
    // The pointer now rests where the late event put it.
    const long later = 1000 + pointer_settle_ms;
    EXPECT_FALSE(pointer_is_user(pointer_move, 105, 105, later)) << "within the hysteresis";
    EXPECT_FALSE(pointer_is_user(pointer_move, 96, 94, later));
    EXPECT_TRUE(pointer_is_user(pointer_move, 106, 105, later));
    EXPECT_TRUE(pointer_is_user(pointer_move, 960, 540, later)) << "back to the old centre is a real move";
    EXPECT_FALSE(pointer_is_user(pointer_left_up | pointer_right_up | pointer_middle_up, 500, 500, later))
        << "releasing the click that started the program";
    for (int press : {pointer_left_down, pointer_right_down, pointer_middle_down, pointer_wheel, pointer_wheel_sideways})
        EXPECT_TRUE(pointer_is_user(press, 100, 100, 1000)) << press << " even while settling";
}

// The picture keeps 4:3, fills the monitor's height or width, and sits centred with black around it.
TEST(picture_layout, the_largest_four_by_three_that_fits_centred_on_the_monitor)
{
    const picture_layout same = layout_picture({0, 0, 800, 600}, 800, 600);
    EXPECT_TRUE(same.identity);
    EXPECT_EQ(same.place.x + same.place.y + same.place.w + same.place.h, 1400);

    const picture_layout wide = layout_picture({0, 0, 1920, 1080}, 800, 600);
    EXPECT_FALSE(wide.identity);
    EXPECT_EQ(wide.place.x, 240);
    EXPECT_EQ(wide.place.y, 0);
    EXPECT_EQ(wide.place.w, 1440);
    EXPECT_EQ(wide.place.h, 1080);
    // At 1.8 some picture columns take two screen columns, some one; none is skipped or smoothed.
    EXPECT_EQ(wide.src_col[0], 0);
    EXPECT_EQ(wide.src_col[1], 0);
    EXPECT_EQ(wide.src_col[2], 1);
    EXPECT_EQ(wide.src_col[1439], 799);
    EXPECT_EQ(wide.src_row[1079], 599);

    const picture_layout tall = layout_picture({0, 0, 1280, 1024}, 800, 600);
    EXPECT_EQ(tall.place.x, 0);
    EXPECT_EQ(tall.place.y, 32);
    EXPECT_EQ(tall.place.w, 1280);
    EXPECT_EQ(tall.place.h, 960);

    // The second of two monitors.
    const picture_layout right = layout_picture({1920, 0, 2560, 1440}, 800, 600);
    EXPECT_EQ(right.place.x, 1920 + 320);
    EXPECT_EQ(right.place.w, 1920);

    // A part of the picture lands exactly on the screen pixels the whole picture gives it.
    const pixel_rect part = layout_span(wide, 10, 10, 18, 20);
    EXPECT_EQ(part.x, 18);
    EXPECT_EQ(part.w, 15);
    EXPECT_EQ(part.y, 18);
    EXPECT_EQ(part.h, 18);
    for (int k = part.x; k < part.x + part.w; k++)
        EXPECT_TRUE(wide.src_col[(size_t)k] >= 10 && wide.src_col[(size_t)k] < 18);
    EXPECT_LT(wide.src_col[(size_t)part.x - 1], 10);
    EXPECT_GE(wide.src_col[(size_t)(part.x + part.w)], 18);
}

bool quits(std::initializer_list<const char *> args)
{
    std::vector<const char *> v(args);
    return screen_saver_quits((int)v.size(), v.data());
}

TEST(screen_saver, configure_and_preview_return_at_once)
{
    // Where the platform draws a preview (Windows), /p with a window handle is one; without, it returns.
    const std::vector<const char *> preview = {"life.scr", "/p", "1234"}, colon = {"LIFE.SCR", "/P:66100"};
    EXPECT_FALSE(screen_saver_quits(3, preview.data(), true));
    EXPECT_TRUE(screen_saver_quits(2, preview.data(), true));
    const saver_launch by_space = screen_saver_launch(3, preview.data(), nullptr, true);
    const saver_launch by_colon = screen_saver_launch(2, colon.data(), nullptr, true);
    EXPECT_TRUE(by_space.mode == saver_mode::preview && by_space.window == 1234u);
    EXPECT_TRUE(by_colon.mode == saver_mode::preview && by_colon.window == 66100u);
    EXPECT_TRUE(screen_saver_launch(3, preview.data(), nullptr, false).mode == saver_mode::own_screen);
    const std::vector<const char *> no_number = {"life.scr", "/p", "x1"};
    EXPECT_TRUE(screen_saver_quits(3, no_number.data(), true));

    EXPECT_TRUE(quits({"life.scr", "/c"}));
    EXPECT_TRUE(quits({"C:\\bin\\life.scr", "/c:1234"}));
    EXPECT_TRUE(quits({"life.scr", "/p", "1234"}));
    EXPECT_TRUE(quits({"/tmp/x/LIFE.SCR", "/P", "1234"}));
    EXPECT_TRUE(quits({"life.Scr", "/C"}));
}

TEST(screen_saver, everything_else_runs)
{
    EXPECT_FALSE(quits({"life.SCR", "/S"}));
    EXPECT_FALSE(quits({"life.scr", "/s"}));
    EXPECT_FALSE(quits({"life.scr"}));
    EXPECT_FALSE(quits({"life.scr", "-c"}));
    EXPECT_FALSE(quits({"life.scr", ""}));
    EXPECT_FALSE(quits({"life.scr", "/"}));
    EXPECT_FALSE(quits({"life.exe", "/c"}));
    EXPECT_FALSE(quits({"life", "/p", "1234"}));
    EXPECT_FALSE(quits({"scr", "/c"}));
    EXPECT_FALSE(quits({"life.scrx", "/c"}));
}

info_request asked(std::initializer_list<const char *> args)
{
    std::vector<const char *> v(args);
    return info_requested((int)v.size(), v.data());
}

// --help and --version are answered; everything else, unknown arguments included, still runs the program.
TEST(screen_saver, help_and_version_are_answered_and_other_arguments_run)
{
    EXPECT_TRUE(asked({"life", "--help"}) == info_request::usage);
    EXPECT_TRUE(asked({"life", "-h"}) == info_request::usage);
    EXPECT_TRUE(asked({"life", "--version"}) == info_request::version);
    EXPECT_TRUE(asked({"life", "--root", "--version", "--help"}) == info_request::version);
    EXPECT_TRUE(asked({"life"}) == info_request::none);
    EXPECT_TRUE(asked({"life", "--window-id", "--help"}) == info_request::none);
    EXPECT_TRUE(asked({"life", "-help", "--helpme", "-v", "-version", "/?"}) == info_request::none);
    const std::string version = version_text();
    EXPECT_TRUE(version.rfind("life ", 0) == 0 && version.find('.') != std::string::npos && version.back() == '\n')
        << version;
    const std::string usage = usage_text();
    for (const char *said : {"--root", "--window-id ID", "--version", "--population N", "--max-ips N", "--no-text",
                             "F12", "keypad +", "life.sav"})
        EXPECT_NE(usage.find(said), std::string::npos) << said;
}

std::string launched(std::initializer_list<const char *> args, const char *host_window = nullptr)
{
    std::vector<const char *> v(args);
    const saver_launch l = screen_saver_launch((int)v.size(), v.data(), host_window);
    if (!l.error.empty())
        return "error: " + l.error;
    const char *mode = l.mode == saver_mode::own_screen ? "own" : l.mode == saver_mode::host_window ? "host" : "preview";
    return std::string(mode) + " " + std::to_string(l.window);
}

TEST(screen_saver, x11_hosts_name_the_window_to_draw_into)
{
    EXPECT_EQ(launched({"life"}), "own 0");
    EXPECT_EQ(launched({"life", "-geometry", "10x10", "root", "/p"}, "0x10"), "own 0");
    // --root: the host's window from the environment, else the root window.
    EXPECT_EQ(launched({"life", "--root"}, "0x2a00007"), "host 44040199");
    EXPECT_EQ(launched({"life", "-root"}, "44040199"), "host 44040199");
    EXPECT_EQ(launched({"life", "-root"}, "0X2A00007"), "host 44040199");
    EXPECT_EQ(launched({"life", "--root"}), "host 0");
    EXPECT_EQ(launched({"life", "--root"}, ""), "host 0");
    // The settings dialog appends the preview's window to the --root command: the window id wins.
    EXPECT_EQ(launched({"/usr/libexec/xscreensaver/life", "--root", "-window-id", "0x1e00005"}, "0x2a00007"),
              "preview 31457285");
    EXPECT_EQ(launched({"life", "--window-id", "123", "--root"}), "preview 123");
    // A .scr name keeps its own rules and reads the X11 arguments too.
    EXPECT_FALSE(quits({"life.scr", "--root"}));
    EXPECT_EQ(launched({"life.scr", "--root"}), "host 0");
}

TEST(screen_saver, a_window_id_that_is_no_number_is_an_error)
{
    EXPECT_EQ(launched({"life", "--window-id"}), "error: --window-id needs an X window id such as 0x2a00007");
    EXPECT_EQ(launched({"life", "-window-id", "0x2g"}),
              "error: --window-id needs an X window id such as 0x2a00007, not \"0x2g\"");
    for (const char *bad : {"", "0x", "0", "0x0", "-5", "12abc", " 12", "0x20000000", "99999999999999999999"})
        EXPECT_EQ(launched({"life", "--window-id", bad}).rfind("error: --window-id", 0), 0u) << bad;
    EXPECT_EQ(launched({"life", "--root"}, "root"), "error: XSCREENSAVER_WINDOW holds \"root\", which is no X window id");
    // Largest X resource id.
    EXPECT_EQ(launched({"life", "--window-id", "0x1fffffff"}), "preview 536870911");
}

} // namespace
