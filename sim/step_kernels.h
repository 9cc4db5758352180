// The hot loops of the fast step, built once per instruction set, and the choice among them.
#pragma once

#include "step_phases.h"
#include "step_weights.h"
#include "world.h"

#include <cstdint>

struct simulation;

// The widest pass (sixteen float lanes) reads this many entries past the last it needs.
enum : int { lane_padding = 16 };

// The cells a step senses: those in use whose food is at least visible_food after regrowth, in
// the order the rules visit them (column by column, rows within a column).  The lane_padding
// entries after count are padding whose centre is NaN, so a pass over them selects nothing.
struct visible_cells {
    int count;
    double cx[cell_count + lane_padding]; // column + 0.5
    double cy[cell_count + lane_padding]; // row + 0.5
    double food[cell_count + lane_padding];
    alignas(64) float fx[cell_count + lane_padding]; // cx and cy, exact as floats, for the cone test
    alignas(64) float fy[cell_count + lane_padding];
    int cell[cell_count + lane_padding]; // cell index, i * cell_stride + j
    int column_start[field_max_width + 1]; // the first of them in column i or after it; count after the last
};

// What the fast sensing pass needs to know of one creature.  The two edges bound the cone
// widened by 0.01 radian on each side: any cell the creature can see lies strictly inside.
struct sense_view {
    creature *me; // whose senses receive the sums
    double x, y, angle;
    float lo_edge_x, lo_edge_y; // unit vector at angle - 0.61
    float hi_edge_x, hi_edge_y; // unit vector at angle + 0.51
    int first, end;             // the visible cells first .. end-1 hold every cell of the widened cone
};

enum : int {
    // The sensing pass takes this many creatures at a time: their candidates in one run, so
    // that the processor goes from one creature's work to the next without stopping.
    sense_batch = 10,
    // Each creature's candidates padded to whole vectors, and the widest pass's spare entries.
    sense_capacity = sense_batch * (cell_count + lane_padding) + lane_padding,
    // A creature's sums while they are added: its sectors, then spare slots for the cells no
    // sector sees, taken in turn so that no spare slot makes a long chain of additions.
    spare_slots = 4,
    sum_slots = sector_count + spare_slots,
};

// Work space of the sensing pass for a batch: per candidate cell (creature by creature, each
// creature's in visible order, padded with NaN cells to a whole vector) its index, the sector
// bounds of its angle estimate, its distance and its food intensity; per vector its creature.
struct sense_scratch {
    int cand[sense_capacity];
    int owner[sense_capacity]; // indexed by vector: creature of cand[v * lanes ...]
    int sector_lo[sense_capacity];
    int sector_hi[sense_capacity];
    int slot[sense_capacity]; // in food and near
    double dist[sense_capacity];
    double gain[sense_capacity];
    float food[sense_batch * sum_slots], near[sense_batch * sum_slots];
};

// The sector a relative angle falls in, as the reference computes it from atan2; -1 for none.
int sector_exact(double dx, double dy, double angle);

// One creature's network inputs (its layer 0's outputs), for the forward pass.
typedef float network_inputs[padded_capacity];

// How many of layer l's outputs a forward pass writes into the creature's record: all of them in
// the last step of a run; in the steps before it only the two commands act() reads, since every
// step rewrites the others before anyone but the step itself can look.
inline int outputs_written(int l, bool last)
{
    static_assert(output_turn < 2 && output_push < 2, "the commands are the first two outputs");
    return last ? layer_sizes[l] : l == output_layer ? 2 : 0;
}

// Counts kept by the fast step, for the benchmark's report.
struct step_counts {
    uint64_t steps;
    uint64_t visible;    // visible cells, summed over steps
    uint64_t pairs;      // visible cells times live creatures
    uint64_t candidates; // pairs that passed the cone test
    uint64_t exact;      // pairs whose sector needed the exact atan2
};

// One build of the hot loops.  Every build gives the same bits: each lane of a vector does
// the very operations, in the very order, that the reference does for one cell or neuron.
struct step_kernels {
    const char *name;
    // Regrows every cell in use and lists the visible ones.
    void (*regrow_and_list)(world_state &w, visible_cells &vis);
    // Adds the visible cells to the senses of view[0 .. count-1]'s creatures (count <=
    // sense_batch), each in cell order; returns the candidates seen and adds the exact
    // fall-backs to *exact.
    int (*sense)(const visible_cells &vis, const sense_view *view, int count, sense_scratch &s, uint64_t *exact);
    // brain_forward for the creatures cr[0 .. count-1], whose regrouped weights are w[0 .. count-1]
    // and whose inputs are in[0 .. count-1]; writes outputs_written(l, last) outputs of each layer.
    void (*forward)(creature *cr, const brain_weights *w, const network_inputs *in, int count, bool last);
};

// Every build compiled in, narrowest first: portable, then on x86-64 sse2, avx2 and avx512.
extern const step_kernels *const step_kernels_builds[];
extern const int step_kernels_build_count;
// The build of that name, or null.
const step_kernels *step_kernels_named(const char *name);
// Whether this processor can run the build.
bool step_kernels_usable(const step_kernels &k);
// The widest usable build, chosen once.
const step_kernels &step_kernels_best();
// One fast step with the given build; sim_step() uses the best.
void sim_step_with(simulation &s, const step_kernels &k);
// n fast steps (n >= 1) with the given build; sim_steps(n) uses the best.
void sim_steps_with(simulation &s, const step_kernels &k, long n);
