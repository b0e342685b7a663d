#pragma once

#include "revision_match.hpp"

#include "../record/model_outline.hpp"

#include <string>
#include <vector>

/// Why the new model looks like the old one moved or replaced rather than revised, from the
/// outlines of both whole models; "" when it does not. The rules are those the matching applies
/// to the faces at hand, for the whole model: less than half of the old model (here: of its
/// vertices) lies where it was, or more old faces reappear shifted by one same distance than
/// stay where they were. `tolerance` is that of the matching.
std::string findOutlineMove(const ModelOutline& oldOutline, const ModelOutline& newOutline,
                            const MatchTolerance& tolerance);
