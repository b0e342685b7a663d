#pragma once

#include "panel.hpp"

#include <string>
#include <vector>

/// Appends the legend, `width` pixels wide from `top` down: the colours, the model's name, the
/// views, which faces are numbered, `note` on a line of its own unless it is empty, and the
/// numbered faces that `unseen` lists as in sight in no panel.
void appendLegend(std::string& svg, double top, double width, const std::vector<View>& views,
                  LabelChoice labels, const std::string& modelName, const std::string& note,
                  const std::vector<int>& unseen);

/// The height appendLegend needs.
constexpr double legendHeight(bool withNote)
{
    return withNote ? 102 : 80;
}
