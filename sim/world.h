// The world as one plain record: creatures, cell arrays, counters and the generator state.
#pragma once

#include <cstdint>

enum : int {
    creature_slots = 50,
    field_max_width = 100,
    field_max_height = 75,
    cell_stride = 75, // cell index is i * cell_stride + j, whatever field_height is
    cell_count = field_max_width * field_max_height,
    cell_px = 8,
    screen_w = field_max_width * cell_px,
    screen_h = field_max_height * cell_px,
    layer_count = 5,
    layer_capacity = 25,
    sector_count = 10,
    population_min = 2,
    population_max = creature_slots,
};

// Widths of network layers 0 (inputs) to 4 (outputs): the network's one statement of its shape.
inline constexpr int layer_sizes[layer_count] = {25, 25, 20, 15, 5};

// Where the step writes the network's inputs (layer 0) and reads its commands (the last layer).
enum : int {
    input_food = 0,                          // sense_food[k] at input_food + k
    input_nearness = input_food + sector_count, // 1 / (sense_near[k] + 1) at input_nearness + k
    input_speed = input_nearness + sector_count,
    input_angle = input_speed + 1,           // inputs after it are never written and stay 0
    output_layer = layer_count - 1,
    output_turn = 0, // neurons[output_layer][output_turn]: the heading's change
    output_push = 1, // neurons[output_layer][output_push]: the new speed
};
static_assert(input_angle < layer_sizes[0] && output_push < layer_sizes[output_layer], "the slots fit the layers");

// A neuron of layer l uses bias and weight[0 .. layer_sizes[l-1]-1]; in layer 0 only output is used.
struct neuron {
    int32_t tag; // 1 when created, copied to offspring, saved; read by nothing else
    float bias;
    float output;
    float weight[layer_capacity];
};

// One creature slot.  The save file walks the fields in its own order (colour last), not this one.
struct creature {
    int32_t age;
    float x;
    float y;
    int32_t color; // 0xRRGGBB
    float angle;
    float speed;
    float resources;
    float eaten;
    neuron neurons[layer_count][layer_capacity]; // layer 0 holds the inputs, rewritten every step
    float sense_food[sector_count];              // summed food intensity per sector, rebuilt every step
    float sense_near[sector_count];              // distance to the nearest food per sector, likewise
};

// Everything the simulation is and the save file holds, with the generator and the selection's
// bookkeeping; the screen keeps its own state.  Plain 4-byte members only, so two worlds
// are equal exactly when their bytes are (memcmp), which the exactness tests rely on; nothing
// depends on the members' order.  Live slots are 0 .. population-1; cells in use are
// i < field_width, j < field_height.
struct world_state {
    // Saved (the cells and creatures only in part: see save_layout.h).
    creature creatures[creature_slots];
    float cell_rate[cell_count];
    float cell_food[cell_count]; // > 0 edible, -1 just eaten, -2 border
    int32_t population;
    int32_t field_width;
    int32_t field_height;
    int32_t display_on;
    int32_t time;
    int32_t steps_this_second;

    // Not saved: the generator and the selection's bookkeeping.
    uint32_t rng_state;
    int32_t best_index;
};

// The values a world starts with: zero-filled slots and cells, full field, population 50.
void world_init(world_state &w);

inline int cell_index(int i, int j) { return i * cell_stride + j; }

bool world_equal(const world_state &a, const world_state &b);
