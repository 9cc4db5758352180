// One step of the world, fast: the same bits as the reference step, with the visible cells
// listed once, a cone test before any angle, an atan2 estimate with a proven error bound,
// and several neurons at a time, in the widest vector build the processor runs.
#include "step.h"

#include "simulation.h"
#include "step_kernels.h"
#include "step_phases.h"
#include "step_weights.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The cos and sin of slot c's heading, computed only when its bits changed since the last time.
static void heading_of(heading_trig *trig, int c, float angle, double &cos_a, double &sin_a)
{
    heading_trig &t = trig[c];
    if (!t.known || std::memcmp(&t.angle, &angle, sizeof angle) != 0) {
        t.known = true;
        t.angle = angle;
        t.cos_a = std::cos((double)angle);
        t.sin_a = std::sin((double)angle);
    }
    cos_a = t.cos_a;
    sin_a = t.sin_a;
}

int sector_exact(double dx, double dy, double angle)
{
    const double s = (std::atan2(dy, dx) - angle) * sector_scale + sector_offset;
    if (!(s > -1.0 && s < 10.0))
        return -1;
    return (int)s;
}

// The reference's sensing, for a creature the fast pass does not cover (a position or
// heading that is not finite, or a heading beyond what its error analysis assumes).
static void sense_directly(const visible_cells &visible, creature &me)
{
    for (int c = 0; c < visible.count; c++) {
        const double dx = visible.cx[c] - (double)me.x;
        const double dy = visible.cy[c] - (double)me.y;
        const int s = sector_exact(dx, dy, (double)me.angle);
        if (s < 0)
            continue;
        const double d = std::sqrt(dx * dx + dy * dy);
        me.sense_food[s] = (float)((double)me.sense_food[s] + visible.food[c] / (std::sqrt(d) + 1));
        if (d <= (double)me.sense_near[s])
            me.sense_near[s] = (float)d;
    }
}

// The columns that can hold a cell of the widened cone: all of them, unless no direction of the
// cone points to +x (then none right of the creature's column but the next) or none to -x.  A
// direction along the cone's arc has its largest x at an edge, or 1 where the arc holds +x; the
// slack covers the edges' rounding to float.
static void columns_in_view(const world_state &world, const visible_cells &visible, sense_view &v)
{
    const float slack = 1e-3f;
    const bool right = v.lo_edge_x > -slack || v.hi_edge_x > -slack || (v.lo_edge_y < slack && v.hi_edge_y > -slack);
    const bool left = v.lo_edge_x < slack || v.hi_edge_x < slack || (v.lo_edge_y > -slack && v.hi_edge_y < slack);
    const int width = world.field_width;
    // The creature's column, kept within -2 .. width + 1 before it becomes an int.
    double at = std::floor(v.x);
    at = at < -2.0 ? -2.0 : at > width + 1.0 ? width + 1.0 : at;
    const int first_column = left ? 0 : std::max((int)at - 1, 0);
    const int last_column = right ? width - 1 : std::min((int)at + 1, width - 1);
    v.first = visible.column_start[first_column];
    v.end = first_column <= last_column ? visible.column_start[last_column + 1] : v.first;
}

void sim_step(simulation &s) { sim_steps_with(s, step_kernels_best(), 1); }
void sim_steps(simulation &s, long n) { sim_steps_with(s, step_kernels_best(), n); }

// Regrows every cell, then senses every creature: regrowth touches each cell alone, and sensing
// reads only the cells and the positions, which no one changes before the creatures act, and
// writes only each creature's own senses, so creatures may be sensed in any order, in batches.
static void sense(simulation &s, const step_kernels &kern)
{
    world_state &world = s.world;
    step_state &st = s.step;
    visible_cells &visible = st.visible;
    const int pop = world.population;
    kern.regrow_and_list(world, visible);
    st.counts.steps++;
    st.counts.visible += (uint64_t)visible.count;
    st.counts.pairs += (uint64_t)visible.count * (uint64_t)(pop > 0 ? pop : 0);
    if (visible.count == 0)
        return;
    // The cone's edges, rotated from the heading: angle - 0.61 and angle + 0.51.
    const double cos_lo = std::cos(0.61), sin_lo = std::sin(0.61);
    const double cos_hi = std::cos(0.51), sin_hi = std::sin(0.51);
    int fast = 0;
    for (int c = 0; c < pop; c++) {
        creature &me = world.creatures[c];
        sense_view &v = st.views[fast];
        v.me = &me;
        v.x = me.x;
        v.y = me.y;
        v.angle = me.angle;
        if (!(std::isfinite(v.x) && std::isfinite(v.y) && std::fabs(v.angle) <= 16.0)) {
            sense_directly(visible, me);
            continue;
        }
        double hx, hy;
        heading_of(st.trig, c, me.angle, hx, hy);
        v.lo_edge_x = (float)(hx * cos_lo + hy * sin_lo);
        v.lo_edge_y = (float)(hy * cos_lo - hx * sin_lo);
        v.hi_edge_x = (float)(hx * cos_hi - hy * sin_hi);
        v.hi_edge_y = (float)(hy * cos_hi + hx * sin_hi);
        columns_in_view(world, visible, v);
        fast++;
    }
    for (int first = 0; first < fast; first += sense_batch) {
        const int count = fast - first < sense_batch ? fast - first : sense_batch;
        st.counts.candidates += (uint64_t)kern.sense(visible, st.views + first, count, st.scratch, &st.counts.exact);
    }
}

// Every network at once: a creature's inputs and weights are its own, and a birth changes only
// the newborn's slot, whose pass has then already run, as in the rules' order.  The inputs go to
// the pass beside the records, and into layer 0 only in the last step of a run (see sim_steps).
// The inputs are the step's own scratch, never the records they are read from: told so, the compiler
// fills them a vector at a time.
__attribute__((noinline)) static void fill_inputs(const creature &me, float *__restrict in)
{
    for (int k = 0; k < sector_count; k++) {
        in[input_food + k] = me.sense_food[k];
        in[input_nearness + k] = (float)(1.0 / ((double)me.sense_near[k] + 1.0));
    }
}

static void think(simulation &s, const step_kernels &kern, bool last)
{
    world_state &world = s.world;
    const int pop = world.population;
    for (int c = 0; c < pop; c++) {
        creature &me = world.creatures[c];
        float *in = s.step.inputs[c];
        fill_inputs(me, in);
        in[input_speed] = me.speed;
        in[input_angle] = me.angle;
        // Never written by the step, but a loaded world may hold anything there.
        for (int k = input_angle + 1; k < layer_sizes[0]; k++)
            in[k] = me.neurons[0][k].output;
        if (last)
            for (int k = 0; k <= input_angle; k++)
                me.neurons[0][k].output = in[k];
    }
    if (pop > 0)
        kern.forward(world.creatures, brain_weights_current(s, pop), s.step.inputs, pop, last);
}

// A step writes the network's inputs and the outputs that act() does not read only when it is the
// last of its run: every step rewrites them all, and no one reads them between two steps of a run.
void sim_steps_with(simulation &s, const step_kernels &kern, long n)
{
    world_state &world = s.world;
    heading_trig *trig = s.step.trig;
    const auto heading = [trig](int c, float angle, double &cos_a, double &sin_a) {
        heading_of(trig, c, angle, cos_a, sin_a);
    };
    for (long k = 1; k <= n; k++) {
        clear_senses(world);
        sense(s, kern);
        think(s, kern, k == n);
        for (int c = 0; c < world.population; c++)
            act(s, world, c, heading);
        count_step(world, s.life);
    }
}

void sim_step_with(simulation &s, const step_kernels &kern) { sim_steps_with(s, kern, 1); }
