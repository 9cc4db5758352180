// The one judgement of whether a world is sound enough to run, to save and to take from a file.
#pragma once

#include "world.h"

#include <string>

// False, with the reason in *why, when the field size does not fit the cell arrays.
bool field_size_fits(int32_t width, int32_t height, std::string *why);
// False, with the reason in *why, when the population is outside what the slots allow.
bool population_fits(int32_t population, std::string *why);

// True when the counts fit the arrays, every real the save file holds (cells in use, live
// creatures and the stored part of their networks) is finite, and every live creature stands
// inside the field.  Otherwise false, with the first fault in *why and, when the fault is a
// creature's, its slot in *slot (else -1).  Either pointer may be null.
bool world_check(const world_state &w, std::string *why, int *slot = nullptr);
