#pragma once

#include "panel.hpp"

#include <string>
#include <vector>

/// Appends the legend, `width` pixels wide from `top` down: the colours, the model's name, the
/// views, which faces are numbered, and the numbered faces that `unseen` lists as in sight in
/// no panel.
void appendLegend(std::string& svg, double top, double width, const std::vector<View>& views,
                  LabelChoice labels, const std::string& modelName, const std::vector<int>& unseen);

/// The height appendLegend needs.
constexpr double legendHeight = 80;
